#!/bin/bash
# Checks the running test directory server (the ctest fixture in BUILD/test-directory)
# with the OpenLDAP command-line clients: identity, class-filtered listings, size limit and
# paging, memberOf, the hidden group, the listeners, and the data tables of README.md.
#
#   bash check_directory_server.sh BUILD
set -u

BUILD=${1:?usage: check_directory_server.sh BUILD}
DIR=$(realpath -m -- "$BUILD/test-directory")
HERE=$(CDPATH='' cd -- "$(dirname -- "$0")" && pwd -P)
README=$HERE/README.md
export LDAPCONF=$DIR/ldap.conf
unset LDAPNOINIT LDAPURI LDAPBASE LDAPRC

BASE='DC=example,DC=test'
FILTER='(|(objectClass=container)(objectClass=organizationalUnit)(objectClass=group)(objectClass=computer)(objectClass=user))'
ADMIN='CN=administrator,CN=Users,DC=example,DC=test'
ADMIN_PW=Passw0rd
HIDDEN='cn=機密プロジェクト,cn=Users,dc=example,dc=test'
BULK='ou=大量,dc=example,dc=test'

TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
failures=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
ok() { echo "ok: $*"; }

PYTHON=/usr/bin/python3
[ -x "$PYTHON" ] || PYTHON=python3

# LDIF with "name:: base64" values turned into text where they are UTF-8
decode_ldif() {
    "$PYTHON" -c '
import base64, sys
for line in sys.stdin.buffer:
    name, sep, value = line.rstrip(b"\n").partition(b":: ")
    if sep and b":" not in name:
        try:
            line = name + b": " + base64.b64decode(value).decode().encode() + b"\n"
        except (ValueError, UnicodeDecodeError):
            pass
    sys.stdout.buffer.write(line)
'
}

dns_of() { decode_ldif | sed -n 's/^dn: //p'; }

# search ARGS...: as the reader over ldapi; decoded LDIF in $TMP/out, DNs in $TMP/dns, status in $rc
search() {
    ldapsearch -Q -LLL -o ldif-wrap=no "$@" >"$TMP/raw" 2>"$TMP/err"
    rc=$?
    decode_ldif <"$TMP/raw" >"$TMP/out"
    sed -n 's/^dn: //p' "$TMP/out" >"$TMP/dns"
}

# values NAME: the values of attribute NAME in $TMP/out, one a line
values() { grep "^$1: " "$TMP/out" | cut -d' ' -f2-; }

expect_lines() { # WHAT EXPECTED-FILE ACTUAL-FILE
    if cmp -s "$2" "$3"; then
        ok "$1"
    else
        fail "$1"
        diff "$2" "$3" | sed 's/^/    /' | head -40
    fi
}

[ -r "$LDAPCONF" ] || {
    echo "FAIL: no $LDAPCONF (is the directory_server fixture running?)"
    exit 1
}
PORT=$(cat "$DIR/port")
PID=$(cat "$DIR/run/slapd.pid")

# --- identity
who=$(ldapwhoami -Q 2>&1)
[ "$who" = "dn:cn=mivora reader,cn=users,dc=example,dc=test" ] && ok "whoami is the reader" ||
    fail "whoami over ldapi gave '$who'"

# --- the root's children in the documented orders; the class filter applied by the server
# Rows: | # | `DN` | class | filtered # or – | non-paged # |
grep -E '^\| [0-9]+ \| `' "$README" >"$TMP/doc-root"
sed -E 's/^\| [0-9]+ \| `([^`]*)`.*/\1/' "$TMP/doc-root" >"$TMP/doc-root-paged"
grep -Ev '^\| [0-9]+ \| `[^`]*` \| [A-Za-z]+ \| – \|' "$TMP/doc-root" |
    sed -E 's/^\| [0-9]+ \| `([^`]*)`.*/\1/' >"$TMP/doc-root-filtered"
sed -E 's/^\| [0-9]+ \| `([^`]*)`.*\| ([0-9]+) \|$/\2 \1/' "$TMP/doc-root" | sort -n | cut -d' ' -f2- >"$TMP/doc-root-nonpaged"
[ "$(wc -l <"$TMP/doc-root")" -eq 14 ] || fail "README root table has $(wc -l <"$TMP/doc-root") rows, not 14"
[ "$(wc -l <"$TMP/doc-root-filtered")" -eq 10 ] || fail "README root table has $(wc -l <"$TMP/doc-root-filtered") filtered rows, not 10"

search -s one -E pr=100/noprompt -b "$BASE" 1.1
[ $rc -eq 0 ] || fail "paged one-level search of the root: status $rc"
expect_lines "root children in the documented paged order" "$TMP/doc-root-paged" "$TMP/dns"
search -s one -E pr=100/noprompt -b "$BASE" "$FILTER" 1.1
expect_lines "class filter at the root gives the documented 10" "$TMP/doc-root-filtered" "$TMP/dns"
grep -q 'cn=取引先 田中' "$TMP/dns" && fail "contact listed by the class filter" || ok "contacts excluded at the root"
search -s one -E pr=3/noprompt -b "$BASE" "$FILTER" 1.1
expect_lines "same with pages of 3" "$TMP/doc-root-filtered" "$TMP/dns"
search -s one -b "$BASE" 1.1
expect_lines "root children in the documented non-paged order" "$TMP/doc-root-nonpaged" "$TMP/dns"

# --- other containers: "`name` class" pairs of the README table, in order
sed -n '/^### Other containers/,/^### /p' "$README" | grep -E '^\| `[^`]+` \| ' | grep -v '^| `ou=大量' | while IFS= read -r row; do
    container=$(printf '%s\n' "$row" | sed -E 's/^\| `([^`]*)`.*/\1/')
    printf '%s\n' "$row" | sed -E 's/^\| `[^`]*` \|//' |
        grep -oE '`[^`]+` (container|organizationalUnit|group|computer|user|contact|device)' |
        sed -E 's/^`([^`]*)` .*/\1,'"$container"'/' >"$TMP/doc-children"
    ldapsearch -Q -LLL -o ldif-wrap=no -s one -E pr=100/noprompt -b "$container" 1.1 2>/dev/null | dns_of >"$TMP/children"
    if cmp -s "$TMP/doc-children" "$TMP/children"; then
        echo "ok: children of $container as documented"
    else
        echo "FAIL: children of $container differ from README.md"
        diff "$TMP/doc-children" "$TMP/children" | sed 's/^/    /'
        echo x >>"$TMP/failed-children"
    fi
done
[ -e "$TMP/failed-children" ] && failures=$((failures + 1))

search -s one -b "ou=空の部署,$BASE" 1.1
[ $rc -eq 0 ] && [ ! -s "$TMP/dns" ] && ok "empty OU has no children" || fail "empty OU: status $rc, $(wc -l <"$TMP/dns") children"
search -s one -b "ou=外部連絡先,$BASE" "$FILTER" 1.1
[ $rc -eq 0 ] && [ ! -s "$TMP/dns" ] && ok "contact-only OU lists nothing filtered" || fail "contact-only OU filtered: status $rc, $(wc -l <"$TMP/dns")"

# --- size limit and paging on the 2,500 container
search -s one -b "$BULK" "$FILTER" 1.1
[ $rc -eq 4 ] && [ "$(wc -l <"$TMP/dns")" -eq 500 ] && ok "non-paged listing of $BULK stops at 500 with sizeLimitExceeded" ||
    fail "non-paged listing of $BULK: status $rc (want 4), $(wc -l <"$TMP/dns") entries (want 500)"
search -s one -z 1000 -b "$BULK" "$FILTER" 1.1
[ $rc -eq 4 ] && ok "asking for more than the hard limit is refused too" || fail "-z 1000: status $rc"
for k in $(seq 1 2500); do
    if [ $((k % 250)) -eq 0 ]; then kind=grup; elif [ $((k % 250)) -eq 125 ]; then kind=comp; else kind=user; fi
    printf 'cn=%04d-%s,%s\n' "$k" "$kind" "$BULK"
done >"$TMP/bulk-expected"
for page in 200 1000; do
    search -s one -b "$BULK" -E pr=$page/noprompt "$FILTER" 1.1
    [ $rc -eq 0 ] || fail "paged ($page) listing of $BULK: status $rc"
    expect_lines "paged ($page) listing of $BULK gives all 2,500 in order" "$TMP/bulk-expected" "$TMP/dns"
done
search -s one -b "$BULK" -E pr=500/noprompt 1.1
[ $rc -eq 0 ] && [ "$(wc -l <"$TMP/dns")" -eq 2505 ] && [ "$(grep -c -- '-cont,' "$TMP/dns")" -eq 5 ] &&
    ok "unfiltered paged listing of $BULK has 2,505 with 5 contacts" ||
    fail "unfiltered paged listing of $BULK: status $rc, $(wc -l <"$TMP/dns") entries"
search -s one -b "$BULK" -E pr=500/noprompt '(objectClass=user)' structuralObjectClass
[ "$(values structuralObjectClass | sort | uniq -c | tr -s ' ' | tr '\n' ';')" = " 10 computer; 2480 user;" ] &&
    ok "$BULK holds 2,480 users and 10 computers (class user matches computers)" ||
    fail "classes in $BULK: $(values structuralObjectClass | sort | uniq -c | tr '\n' ';')"

# --- memberOf, member, classes
search -s base -b "CN=山田 太郎,OU=営業部,$BASE" memberOf
values memberOf >"$TMP/got"
printf '%s\n' "CN=営業部メンバー,OU=営業部,DC=example,DC=test" "CN=プロジェクトA,CN=Users,DC=example,DC=test" >"$TMP/want"
expect_lines "memberOf of 山田 太郎 (two groups)" "$TMP/want" "$TMP/got"
search -s base -b "CN=山田 太郎,OU=営業部,$BASE"
grep -q '^memberOf' "$TMP/out" && fail "memberOf returned without being asked for" || ok "memberOf only when asked for by name"
search -s base -b "CN=プロジェクトA,CN=Users,$BASE" member
values member >"$TMP/got"
printf '%s\n' "CN=鈴木 一郎,CN=Users,DC=example,DC=test" "CN=機密プロジェクト,CN=Users,DC=example,DC=test" \
    "CN=山田 太郎,OU=営業部,DC=example,DC=test" "CN=システム管理者,CN=Users,DC=example,DC=test" >"$TMP/want"
expect_lines "members of プロジェクトA in order, hidden one in the middle" "$TMP/want" "$TMP/got"
search -s base -b "CN=田中 実,CN=Users,$BASE" displayName sn
[ -z "$(values displayName)" ] && [ "$(values sn)" = 田中 ] && ok "田中 実 has sn and no displayName" || fail "田中 実: displayName/sn wrong"
search -s base -b "CN=PC-EIGYO-001,OU=営業部,$BASE" objectClass structuralObjectClass
[ "$(values objectClass | tail -n 1)" = computer ] && [ "$(values structuralObjectClass)" = computer ] &&
    ok "computer: objectClass chain ends in computer" || fail "computer classes: $(values objectClass | tr '\n' ' ')"
search -s base -b "$BASE" structuralObjectClass whenCreated
[ "$(values structuralObjectClass)" = domainDNS ] && [ "$(values whenCreated)" = 20240401090000.0Z ] &&
    ok "root is domainDNS with whenCreated" || fail "root: $(tr '\n' ' ' <"$TMP/out")"

# --- every DN of the README's entry table, with its class; the hidden one refused
grep -E '^\| `[a-z]+=[^`]*` \| [A-Za-z]+ \|' "$README" >"$TMP/doc-entries"
[ "$(wc -l <"$TMP/doc-entries")" -ge 40 ] || fail "README entry table has only $(wc -l <"$TMP/doc-entries") rows"
search -E pr=1000/noprompt -b "$BASE" structuralObjectClass
awk '/^dn: / {dn = substr($0, 5)} /^structuralObjectClass: / {print dn "\t" $2}' "$TMP/out" >"$TMP/all-entries"
bad=0
while IFS= read -r row; do
    dn=$(printf '%s\n' "$row" | sed -E 's/^\| `([^`]*)`.*/\1/')
    class=$(printf '%s\n' "$row" | sed -E 's/^\| `[^`]*` \| ([A-Za-z]+) \|.*/\1/')
    if [ "$dn" = "$HIDDEN" ]; then
        ! grep -qF "$dn" "$TMP/all-entries" || { echo "    hidden $dn is visible to the reader"; bad=1; }
    elif ! grep -qFx "$dn	$class" "$TMP/all-entries"; then
        echo "    $dn ($class): not found as documented"
        bad=1
    fi
done <"$TMP/doc-entries"
[ $bad -eq 0 ] && ok "README entry table matches the server" || fail "README entry table differs from the server"

# --- the hidden group
search -s base -b "$HIDDEN" 1.1
[ $rc -eq 32 ] && ok "hidden group is noSuchObject for the reader" || fail "hidden group: status $rc for the reader"
search -s one -b "CN=Users,$BASE" 1.1
grep -qF "$HIDDEN" "$TMP/dns" && fail "hidden group listed in CN=Users" || ok "hidden group not listed in CN=Users"
search -s base -b "CN=伊藤 健,OU=東京支店,OU=営業部,$BASE" memberOf
values memberOf | grep -q '^CN=機密プロジェクト,' && ok "memberOf still names the hidden group" || fail "memberOf of 伊藤 健 lacks the hidden group"

# --- TCP listener, anonymous and simple binds
TCP=ldap://127.0.0.1:$PORT
out=$(LDAPNOINIT=1 ldapsearch -x -H "$TCP" -LLL -s base -b "" namingContexts defaultNamingContext 2>&1)
[ $? -eq 0 ] && grep -q '^defaultNamingContext: DC=example,DC=test' <<<"$out" && grep -q '^namingContexts: dc=example,dc=test' <<<"$out" &&
    ok "anonymous root DSE over $TCP" || fail "anonymous root DSE over $TCP: $out"
LDAPNOINIT=1 ldapsearch -x -H "$TCP" -LLL -s base -b cn=Subschema objectClasses >"$TMP/schema" 2>&1
grep -q "NAME 'computer'" "$TMP/schema" && ok "subschema readable anonymously" || fail "subschema not readable anonymously"
LDAPNOINIT=1 ldapsearch -x -H "$TCP" -LLL -s base -b "$BASE" 1.1 >/dev/null 2>&1
rc=$?
[ $rc -eq 32 ] && ok "anonymous cannot read the tree" || fail "anonymous base search of the root: status $rc"
who=$(LDAPNOINIT=1 ldapwhoami -x -H "$TCP" -D "$ADMIN" -w "$ADMIN_PW" 2>&1)
[ "$who" = "dn:cn=administrator,cn=Users,dc=example,dc=test" ] && ok "administrator simple bind" || fail "administrator bind: $who"
LDAPNOINIT=1 ldapwhoami -x -H "$TCP" -D "$ADMIN" -w 4821rum >/dev/null 2>&1
rc=$?
[ $rc -eq 49 ] && ok "administrator with 4821rum is refused" || fail "administrator with 4821rum: status $rc (want 49)"
LDAPNOINIT=1 ldapsearch -x -H "$TCP" -D "$ADMIN" -w "$ADMIN_PW" -LLL -s base -b "$HIDDEN" structuralObjectClass >/dev/null 2>&1
rc=$?
[ $rc -eq 0 ] && ok "administrator sees the hidden group" || fail "administrator base search of the hidden group: status $rc"

# --- nothing listens but 127.0.0.1:PORT, 127.0.0.1:TLSPORT and the ldapi socket
inodes=$(ls -l "/proc/$PID/fd" 2>/dev/null | sed -nE 's/.*socket:\[([0-9]+)\]$/\1/p' | sort -u)
[ -n "$inodes" ] || fail "no sockets found for slapd pid $PID"
listening=$(
    for f in tcp tcp6 udp udp6; do
        # local address, state, inode; TCP state 0A is LISTEN, UDP 07 is bound
        awk -v proto=$f 'NR > 1 && ($4 == "0A" || $4 == "07") {print proto, $2, $10}' "/proc/net/$f" 2>/dev/null
    done | while read -r proto addr inode; do
        grep -qx "$inode" <<<"$inodes" && echo "$proto $addr"
    done
)
TLS_PORT=$(cat "$DIR/tls-port")
listening=$(sort <<<"$listening")
want=$(printf 'tcp 0100007F:%04X\ntcp 0100007F:%04X\n' "$PORT" "$TLS_PORT" | sort)
[ "$listening" = "$want" ] && ok "slapd listens on 127.0.0.1:$PORT and :$TLS_PORT only" ||
    fail "slapd listens on: $listening (want $want)"
# Flags 00010000: accepting connections
unix=$(awk 'NR > 1 && $4 == "00010000" {print $7, $8}' /proc/net/unix | while read -r inode path; do
    grep -qx "$inode" <<<"$inodes" && echo "$path"
done)
[ "$unix" = "$DIR/run/ldapi" ] && ok "one unix listener, $DIR/run/ldapi" || fail "unix listeners: $unix"

# --- TLS: the reader over ldaps and by StartTLS with the test client certificate; a client
# that trusts another CA is refused
tls_whoami() { # CONF [CACERT]
    LDAPCONF=$1 LDAPTLS_CERT=$DIR/tls/client.pem LDAPTLS_KEY=$DIR/tls/client.key \
        LDAPTLS_CACERT=${2:-$DIR/tls/ca.pem} ldapwhoami -Q 2>&1
}
for mode in ldaps starttls; do
    got=$(tls_whoami "$DIR/$mode.conf")
    [ "$got" = "dn:cn=mivora reader,cn=users,dc=example,dc=test" ] && ok "reader over $mode" ||
        fail "$mode whoami: $got"
    tls_whoami "$DIR/$mode.conf" "$DIR/tls/other-ca.pem" >/dev/null &&
        fail "$mode with an untrusted CA was accepted" || ok "$mode refused with an untrusted CA"
done

if [ $failures -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all checks passed"
