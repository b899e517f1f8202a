#!/bin/bash
# Stop the Samba DC that start-ad-dc.sh started from DIR (its running copy DIR/run stays for
# its logs; the next start replaces it). Safe to run when nothing is running.
#
#   stop-ad-dc.sh DIR [NAME]     (NAME: the running copy's folder, as start-ad-dc.sh --run)
set -euo pipefail

[ $# -eq 1 ] || [ $# -eq 2 ] || {
    echo "usage: stop-ad-dc.sh DIR [NAME]" >&2
    exit 2
}
RUN=$(realpath -m -- "$1")/${2:-run}

# True while PID is a live samba of this DIR: a pid file can outlive its process and the pid
# be reused. Samba rewrites its command line ("samba: root process"), so what tells it is
# the databases of DIR/run it holds open; a zombie holds none and so counts as gone.
is_ours() {
    find "/proc/$1/fd" -maxdepth 1 -lname "$RUN/dc/*" 2>/dev/null | grep -q .
}

pid=$(cat "$RUN/samba.pid" 2>/dev/null || true)
case $pid in
'' | *[!0-9]*) exit 0 ;;
esac
if is_ours "$pid"; then
    kill -TERM "$pid" 2>/dev/null || true
    for _ in $(seq 1 250); do
        is_ours "$pid" || break
        sleep 0.02
    done
    if is_ours "$pid"; then
        echo "stop-ad-dc.sh: samba $pid ignored SIGTERM, killing it" >&2
        kill -KILL "$pid" 2>/dev/null || true
    fi
fi
rm -f "$RUN/samba.pid"
echo "stop-ad-dc.sh: stopped"
