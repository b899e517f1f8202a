#!/bin/sh
# Builds the soak run (Release), starts a test directory server with an OU of 1,000 users and a
# group of 300 of them, and runs CYCLES cycles of Connect, a click on the OU, the group's details
# and Disconnect in one process, printing its resident set and open descriptors every 500.
#
#   bench/run-soak.sh [BUILD_DIR] [CYCLES]        defaults: build-bench beside this folder, 5000
#
# Needs no network and no root.
set -eu

HERE=$(CDPATH='' cd -- "$(dirname -- "$0")" && pwd -P)
SOURCE=$(dirname -- "$HERE")
BUILD=$(realpath -m -- "${1:-$SOURCE/build-bench}")
CYCLES=${2:-5000}

cmake -S "$SOURCE" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
ninja -C "$BUILD" mivora_soak >/dev/null

DS=$BUILD/soak-directory
SERVERS=$SOURCE/tests/directory-server
trap '"$SERVERS/stop-directory-server.sh" "$DS" >/dev/null 2>&1 || true' EXIT INT TERM
MIVORA_DS_GEN_ARGS="--bulk-users 1000 --big-group-members 300" \
    "$SERVERS/start-directory-server.sh" "$DS" >&2

HOME_DIR=$BUILD/bench-home
mkdir -p "$HOME_DIR/config" "$HOME_DIR/cache" "$HOME_DIR/data" "$HOME_DIR/runtime" "$HOME_DIR/tmp"
chmod 700 "$HOME_DIR/runtime"
export XDG_CONFIG_HOME="$HOME_DIR/config" XDG_CACHE_HOME="$HOME_DIR/cache" XDG_DATA_HOME="$HOME_DIR/data" \
    XDG_RUNTIME_DIR="$HOME_DIR/runtime" TMPDIR="$HOME_DIR/tmp" QT_QPA_PLATFORM=offscreen LDAPCONF="$DS/ldap.conf"
unset LDAPNOINIT
cd "$HOME_DIR"
echo "load average before the run: $(cut -d' ' -f1-3 /proc/loadavg)"
"$BUILD/bench/mivora_soak" "$CYCLES"
echo "load average after the run: $(cut -d' ' -f1-3 /proc/loadavg)"
