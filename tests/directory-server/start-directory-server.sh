#!/bin/sh
# Start a throwaway AD-like slapd for Mivora's tests, benchmarks and demo.
#
#   start-directory-server.sh DIR [LDIF...]    fresh instance: DIR is emptied (after stopping
#                                              a slapd still running from it) and loaded
#   start-directory-server.sh --restart DIR    start DIR again with its data, socket and port
#
# A fresh instance loads the sample data of gen-sample-data.py and then each LDIF given.
# It listens on ldapi://DIR/run/ldapi, ldap://127.0.0.1:PORT (StartTLS offered) and
# ldaps://127.0.0.1:TLSPORT only (free ports, kept in DIR/port and DIR/tls-port), with a test
# CA and certificates made in DIR/tls, and is ready when this script returns. README.md has
# the details.
#
# Environment:
#   MIVORA_DS_GEN_ARGS     options for gen-sample-data.py, e.g. "--bulk-users 100000"
#   MIVORA_DS_SKIP_SAMPLE  1: load only the LDIF files given (they must hold DC=example,DC=test)
#   MIVORA_DS_GLOBAL       extra global slapd.conf lines, e.g. "conn_max_pending_auth 10000"
#   MIVORA_DS_DATABASE     extra lines for the database section, e.g. "limits * size.prtotal=2000"
#   MIVORA_DS_LOG          1: run slapd in the foreground with "-d stats" into DIR/run/slapd.log
set -eu

HERE=$(CDPATH='' cd -- "$(dirname -- "$0")" && pwd -P)
PYTHON=/usr/bin/python3
[ -x "$PYTHON" ] || PYTHON=python3

die() {
    echo "start-directory-server.sh: $*" >&2
    exit 1
}

usage() {
    echo "usage: start-directory-server.sh DIR [LDIF...] | --restart DIR" >&2
    exit 2
}

# Print the file's content to stderr (the reason slapd or slapadd gave) and fail.
die_with_log() {
    [ -s "$2" ] && sed 's/^/  /' "$2" >&2
    die "$1"
}

restart=0
if [ "${1:-}" = --restart ]; then
    restart=1
    shift
    [ $# -eq 1 ] || usage
fi
[ $# -ge 1 ] || usage
DIR=$(realpath -m -- "$1")
shift
case $DIR in
*'"'* | *'
'*) die "DIR must not contain a double quote or a line break: $DIR" ;;
esac

SOCKET=$DIR/run/ldapi
# sun_path holds 108 bytes with the terminating NUL
[ "$(printf %s "$SOCKET" | wc -c)" -le 107 ] || die "socket path too long for ldapi: $SOCKET"

render_instance() {
    if [ -e "$DIR" ]; then
        [ -d "$DIR" ] || die "not a directory: $DIR"
        # Refuse to empty a directory that is not ours, e.g. a mistyped path.
        if [ ! -e "$DIR/.mivora-directory-server" ] && [ -n "$(ls -A -- "$DIR")" ]; then
            die "$DIR is not empty and holds no test directory server"
        fi
        [ ! -e "$DIR/run/slapd.pid" ] || "$HERE/stop-directory-server.sh" "$DIR" >/dev/null
        find "$DIR" -mindepth 1 -delete
    fi
    mkdir -p "$DIR/db" "$DIR/run" "$DIR/schema" "$DIR/data" "$DIR/tls"
    : >"$DIR/.mivora-directory-server"

    # AD users and computers have no sn: relax 'person' from MUST ( sn $ cn ) to MUST cn.
    sed -e 's/MUST ( sn \$ cn )/MUST cn/' \
        -e 's/MAY ( userPassword \$ telephoneNumber \$ seeAlso \$ description ) )/MAY ( sn $ userPassword $ telephoneNumber $ seeAlso $ description ) )/' \
        /etc/ldap/schema/core.schema >"$DIR/schema/core-ad.schema"
    grep -q 'MAY ( sn \$ userPassword' "$DIR/schema/core-ad.schema" ||
        die "/etc/ldap/schema/core.schema changed: cannot relax 'person'"
    cp "$HERE/mivora-ad.schema" "$DIR/schema/"
    cp "$HERE/rootdse.ldif" "$DIR/"

    # Escape what sed would read as special in the replacement text; the extra global
    # lines go in through awk, which takes them verbatim, line breaks included.
    dir_sed=$(printf '%s\n' "$DIR" | sed 's/[\\&|]/\\&/g')
    sed -e "s|@DIR@|$dir_sed|g" -e "s|@UID@|$(id -u)|g" "$HERE/slapd.conf.in" |
        MIVORA_DS_GLOBAL=${MIVORA_DS_GLOBAL:-} MIVORA_DS_DATABASE=${MIVORA_DS_DATABASE:-} awk '
            $0 == "@GLOBAL@" { print ENVIRON["MIVORA_DS_GLOBAL"]; next }
            $0 == "@DATABASE@" { print ENVIRON["MIVORA_DS_DATABASE"]; next }
            { print }' >"$DIR/slapd.conf"
}

# The test CA, the server's certificate (127.0.0.1 and localhost), a client certificate
# that slapd maps to the reader, and a second CA that signed nothing here (a client that
# trusts only it must refuse the server). P-256 keys: made in milliseconds.
make_tls() {
    (
        cd "$DIR/tls"
        key="-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 3650"
        leaf="-CA ca.pem -CAkey ca.key -addext basicConstraints=critical,CA:FALSE"
        # shellcheck disable=SC2086 # the options are meant to be split
        openssl req -x509 $key -keyout ca.key -out ca.pem -subj "/O=Mivora Test/CN=Mivora Test CA" &&
            openssl req -x509 $key -keyout other-ca.key -out other-ca.pem \
                -subj "/O=Mivora Elsewhere/CN=Mivora Untrusted CA" &&
            openssl req -x509 $key $leaf -keyout server.key -out server.pem -subj "/O=Mivora Test/CN=127.0.0.1" \
                -addext subjectAltName=IP:127.0.0.1,DNS:localhost -addext extendedKeyUsage=serverAuth &&
            openssl req -x509 $key $leaf -keyout client.key -out client.pem -subj "/O=Mivora Test/CN=Mivora Reader" \
                -addext extendedKeyUsage=clientAuth &&
            chmod 600 ./*.key
    ) >"$DIR/run/openssl.log" 2>&1
}

load_data() {
    if [ "${MIVORA_DS_SKIP_SAMPLE:-0}" != 1 ]; then
        # shellcheck disable=SC2086 # the options are meant to be split
        "$PYTHON" "$HERE/gen-sample-data.py" ${MIVORA_DS_GEN_ARGS:-} >"$DIR/data/sample.ldif" ||
            die "gen-sample-data.py failed"
        set -- "$DIR/data/sample.ldif" "$@"
    fi
    [ $# -ge 1 ] || die "MIVORA_DS_SKIP_SAMPLE=1 needs at least one LDIF file"
    for ldif; do
        [ -r "$ldif" ] || die "cannot read $ldif"
        slapadd -q -f "$DIR/slapd.conf" -l "$ldif" >"$DIR/run/slapadd.log" 2>&1 ||
            die_with_log "slapadd of $ldif failed" "$DIR/run/slapadd.log"
    done
}

# Two random ports below the kernel's ephemeral range (32768-60999), so that they do not
# collide with the source port of some outgoing connection; they are free when tried.
pick_ports() {
    "$PYTHON" - <<'EOF'
import random, socket
ports = []
for _ in range(400):
    port = random.randrange(20000, 32768)
    if port in ports:
        continue
    with socket.socket() as s:
        try:
            s.bind(("127.0.0.1", port))
        except OSError:
            continue
    ports.append(port)
    if len(ports) == 2:
        print(*ports)
        break
else:
    raise SystemExit("no free port")
EOF
}

urlencode() {
    case $1 in
    *[!A-Za-z0-9/._-]*)
        "$PYTHON" -c 'import sys, urllib.parse; print(urllib.parse.quote(sys.argv[1], safe=""))' "$1" ;;
    *) printf '%s\n' "$1" | sed 's|/|%2F|g' ;;
    esac
}

# Start slapd on the three listeners; fails when a port is taken. The daemon's parent
# returns once the child listens (or has failed), with its status.
run_slapd() {
    rm -f "$DIR/run/slapd.pid"
    uris="$LDAPI_URI ldap://127.0.0.1:$PORT/ ldaps://127.0.0.1:$TLS_PORT/"
    if [ "${MIVORA_DS_LOG:-0}" = 1 ]; then
        slapd -d stats -f "$DIR/slapd.conf" -h "$uris" </dev/null >"$DIR/run/slapd.log" 2>&1 &
    else
        slapd -f "$DIR/slapd.conf" -h "$uris" </dev/null >"$DIR/run/slapd.out" 2>&1 || return 1
    fi
    wait_until_ready
}

wait_until_ready() {
    i=0
    until [ -s "$DIR/run/slapd.pid" ] &&
        LDAPNOINIT=1 ldapwhoami -Q -Y EXTERNAL -H "$LDAPI_URI" >/dev/null 2>&1; do
        i=$((i + 1))
        [ $i -le 1000 ] || return 1
        # slapd -d that has exited will never answer
        if [ "${MIVORA_DS_LOG:-0}" = 1 ] && [ -n "${!:-}" ] && ! kill -0 "$!" 2>/dev/null; then
            return 1
        fi
        sleep 0.01
    done
}

slapd_log() {
    if [ "${MIVORA_DS_LOG:-0}" = 1 ]; then echo "$DIR/run/slapd.log"; else echo "$DIR/run/slapd.out"; fi
}

if [ $restart = 1 ]; then
    [ -f "$DIR/slapd.conf" ] && [ -s "$DIR/port" ] && [ -s "$DIR/ldapi-uri" ] ||
        die "$DIR holds no instance to restart"
    "$HERE/stop-directory-server.sh" "$DIR" >/dev/null
    PORT=$(cat "$DIR/port")
    TLS_PORT=$(cat "$DIR/tls-port")
    LDAPI_URI=$(cat "$DIR/ldapi-uri")
    run_slapd || die_with_log "slapd did not start again on port $PORT" "$(slapd_log)"
else
    render_instance
    # the certificates are made while the data loads
    make_tls &
    tls_pid=$!
    load_data "$@"
    wait "$tls_pid" || die_with_log "openssl could not make the test certificates" "$DIR/run/openssl.log"
    LDAPI_URI=ldapi://$(urlencode "$SOCKET")
    tries=0
    until ports=$(pick_ports) && PORT=${ports% *} && TLS_PORT=${ports#* } && run_slapd; do
        tries=$((tries + 1))
        # a port may have been taken between the check and slapd's bind
        [ $tries -lt 5 ] || die_with_log "slapd did not start" "$(slapd_log)"
    done
    printf '%s\n' "$PORT" >"$DIR/port"
    printf '%s\n' "$TLS_PORT" >"$DIR/tls-port"
    printf '%s\n' "$LDAPI_URI" >"$DIR/ldapi-uri"
    cat >"$DIR/ldap.conf" <<EOF
URI $LDAPI_URI
BASE DC=example,DC=test
SASL_MECH EXTERNAL
EOF
    # Over TLS the reader is the client certificate (SASL EXTERNAL). TLS_CERT and TLS_KEY are
    # user-only libldap options: the environment gives them (LDAPTLS_CERT, LDAPTLS_KEY).
    # StartTLS is asked for by the URI's critical extension: libldap refuses to go on without.
    for mode in ldaps starttls; do
        if [ $mode = ldaps ]; then uri=ldaps://127.0.0.1:$TLS_PORT; else uri="ldap://127.0.0.1:$PORT/????!StartTLS"; fi
        cat >"$DIR/$mode.conf" <<EOF
URI $uri
BASE DC=example,DC=test
SASL_MECH EXTERNAL
TLS_CACERT $DIR/tls/ca.pem
TLS_REQCERT demand
EOF
    done
    # single quotes for the shell that sources it; a quote inside DIR is closed and reopened
    quote() { printf %s "$1" | sed "s/'/'\\\\''/g"; }
    printf "export LDAPCONF='%s'\n" "$(quote "$DIR/ldap.conf")" >"$DIR/env.sh"
    printf "export LDAPCONF='%s' LDAPTLS_CERT='%s' LDAPTLS_KEY='%s'\n" "$(quote "$DIR/ldaps.conf")" \
        "$(quote "$DIR/tls/client.pem")" "$(quote "$DIR/tls/client.key")" >"$DIR/tls-env.sh"
fi

echo "slapd pid=$(cat "$DIR/run/slapd.pid") ldapi=$LDAPI_URI ldap=ldap://127.0.0.1:$PORT ldaps=ldaps://127.0.0.1:$TLS_PORT dir=$DIR"
