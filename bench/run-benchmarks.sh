#!/bin/sh
# Builds the benchmark (Release), starts a test directory server with the scale data (an OU of
# 100,000 users, a group of 5,000 members, a user in 300 groups) and a delay proxy in front of
# it (10 ms each way), runs every case and prints one line per case.
#
#   bench/run-benchmarks.sh [BUILD_DIR] [--million] [-- mivora_bench options, e.g. --repeats 5 --only ad]
#
# BUILD_DIR defaults to build-bench beside this folder. Needs no network and no root.
# --million then loads a second directory with an OU of 1,000,000 users (slapadd, about 100 s and
# 2 GB of disk) and runs the listing case (a) on it.
set -eu

HERE=$(CDPATH='' cd -- "$(dirname -- "$0")" && pwd -P)
SOURCE=$(dirname -- "$HERE")
BUILD=$SOURCE/build-bench
if [ $# -gt 0 ] && [ "$1" != -- ] && [ "$1" != --million ]; then
    BUILD=$(realpath -m -- "$1")
    shift
fi
million=
if [ "${1:-}" = --million ]; then
    million=1
    shift
fi
[ "${1:-}" != -- ] || shift

cmake -S "$SOURCE" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
ninja -C "$BUILD" mivora_bench >/dev/null

DS=$BUILD/bench-directory
PROXY=$BUILD/bench-proxy
SERVERS=$SOURCE/tests/directory-server
proxy_pid=
cleanup() {
    [ -z "$proxy_pid" ] || kill "$proxy_pid" 2>/dev/null || true
    "$SERVERS/stop-directory-server.sh" "$DS" >/dev/null 2>&1 || true
}
trap cleanup EXIT INT TERM

echo "starting the directory server with the scale data (about 10 s)..." >&2
MIVORA_DS_GEN_ARGS="--bulk-users 100000 --big-group-members 5000 --user-in-groups 300" \
    "$SERVERS/start-directory-server.sh" "$DS" >&2

rm -rf "$PROXY"
mkdir -p "$PROXY"
python3 "$HERE/delay-proxy.py" "$PROXY/ldapi" "$DS/run/ldapi" 10 >"$PROXY/proxy.out" 2>&1 &
proxy_pid=$!
i=0
until grep -q ready "$PROXY/proxy.out" 2>/dev/null; do
    i=$((i + 1))
    [ $i -le 500 ] || { echo "the delay proxy did not start" >&2; exit 1; }
    sleep 0.01
done
encoded=$(python3 -c 'import sys, urllib.parse; print(urllib.parse.quote(sys.argv[1], safe=""))' "$PROXY/ldapi")
cat >"$PROXY/ldap.conf" <<CONF
URI ldapi://$encoded
BASE DC=example,DC=test
SASL_MECH EXTERNAL
CONF

# Qt writes its runtime files into the build, not the user's home.
HOME_DIR=$BUILD/bench-home
mkdir -p "$HOME_DIR/config" "$HOME_DIR/cache" "$HOME_DIR/data" "$HOME_DIR/runtime" "$HOME_DIR/tmp"
chmod 700 "$HOME_DIR/runtime"
export XDG_CONFIG_HOME="$HOME_DIR/config" XDG_CACHE_HOME="$HOME_DIR/cache" XDG_DATA_HOME="$HOME_DIR/data" \
    XDG_RUNTIME_DIR="$HOME_DIR/runtime" TMPDIR="$HOME_DIR/tmp"

echo "load average before the run: $(cut -d' ' -f1-3 /proc/loadavg)"
"$BUILD/bench/mivora_bench" --conf "$DS/ldap.conf" --proxy-conf "$PROXY/ldap.conf" "$@"
echo "load average after the run: $(cut -d' ' -f1-3 /proc/loadavg)"

if [ -n "$million" ]; then
    "$SERVERS/stop-directory-server.sh" "$DS" >/dev/null 2>&1 || true
    echo "starting the directory server with 1,000,000 users (about 100 s)..." >&2
    MIVORA_DS_GEN_ARGS="--bulk-users 1000000" "$SERVERS/start-directory-server.sh" "$DS" >&2
    echo "load average before the run: $(cut -d' ' -f1-3 /proc/loadavg)"
    "$BUILD/bench/mivora_bench" --conf "$DS/ldap.conf" "$@" --only a --children 1000000
    echo "load average after the run: $(cut -d' ' -f1-3 /proc/loadavg)"
fi
