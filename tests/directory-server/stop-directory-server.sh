#!/bin/sh
# Stop the slapd that start-directory-server.sh started from DIR.
#
#   stop-directory-server.sh DIR [--rm]     --rm: remove DIR afterwards
#
# SIGTERM, then SIGKILL after 5 s; returns when the process is gone. Safe to run when
# nothing is running. A paused (SIGSTOP) server is continued so that it sees SIGTERM.
set -eu

[ $# -ge 1 ] && [ $# -le 2 ] || {
    echo "usage: stop-directory-server.sh DIR [--rm]" >&2
    exit 2
}
DIR=$(realpath -m -- "$1")
CONF=$DIR/slapd.conf

# True while PID is a live slapd of this DIR. A pid file can outlive its process (SIGKILL)
# and the pid be reused; a zombie has an empty cmdline and so counts as gone.
is_ours() {
    [ -r "/proc/$1/cmdline" ] && tr '\0' '\n' <"/proc/$1/cmdline" 2>/dev/null | grep -Fxq -- "$CONF"
}

wait_gone() { # PID SECONDS
    n=0
    while is_ours "$1"; do
        n=$((n + 1))
        [ $n -le $(($2 * 50)) ] || return 1
        sleep 0.02
    done
}

pid=$(cat "$DIR/run/slapd.pid" 2>/dev/null || true)
case $pid in
'' | *[!0-9]*) pid= ;;
esac
if [ -n "$pid" ] && is_ours "$pid"; then
    kill -TERM "$pid" 2>/dev/null || true
    kill -CONT "$pid" 2>/dev/null || true
    if ! wait_gone "$pid" 5; then
        echo "stop-directory-server.sh: slapd $pid ignored SIGTERM, killing it" >&2
        kill -KILL "$pid" 2>/dev/null || true
        wait_gone "$pid" 5 || {
            echo "stop-directory-server.sh: slapd $pid is still running" >&2
            exit 1
        }
    fi
    echo "stopped slapd pid=$pid"
fi
rm -f "$DIR/run/slapd.pid"

if [ "${2:-}" = --rm ]; then
    # only what start-directory-server.sh made
    if [ -e "$DIR/.mivora-directory-server" ]; then
        rm -rf -- "$DIR"
    elif [ -e "$DIR" ]; then
        echo "stop-directory-server.sh: $DIR holds no test directory server, not removed" >&2
        exit 1
    fi
fi
exit 0
