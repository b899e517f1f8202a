#!/bin/bash
# Run TEST (a Qt Test program) as on a desktop joined to the test domain: inside a network and
# mount namespace of its own, a Samba DC that also serves the domain's DNS, /etc/resolv.conf
# naming it, a krb5.conf that finds the KDC through DNS, an ldap.conf without URI, and a
# ticket of the test account. Nothing outside the namespace is touched; no traffic leaves its
# loopback.
#
#   dns-tier.sh DIR TEST [ARGS...]     (DIR: start-ad-dc.sh's, whose template it reuses)
#
# In the namespace: the DC on 127.77.0.10 as dc1.example.test, with Samba's default of strong
# authentication, and no PTR records. As on a real DC no SPN names its address (the AD tier's
# template has them; they go once the DC is up), so a service name taken from the address
# instead of the host name fails. TEST gets MIVORA_DNS_RUN
# (the DC's running copy; its etc/ holds the client files). Exits 77 with a line saying why
# where this cannot run (not root, no namespaces, no DC template).
set -euo pipefail

HERE=$(cd -- "$(dirname -- "$0")" && pwd -P)
[ $# -ge 2 ] || {
    echo "usage: dns-tier.sh DIR TEST [ARGS...]" >&2
    exit 2
}
DIR=$(realpath -m -- "$1")
RUN=$DIR/dns-run
ADDRESS=127.77.0.10

# The reason also goes to DIR/dns-skipped, for scripts/test.sh to print.
skip() {
    { mkdir -p "$DIR" && echo "$*" >"$DIR/dns-skipped"; } 2>/dev/null || true
    echo "AD DNS tier skipped: $*"
    exit 77
}
ms_since() { echo $((($(date +%s%N) - $1) / 1000000)); }

if [ -z "${MIVORA_DNS_NAMESPACE:-}" ]; then
    [ ! -f "$DIR/skipped" ] || skip "$(cat "$DIR/skipped")"
    [ "$(id -u)" -eq 0 ] || skip "a network and mount namespace needs root (unshare -mn)"
    [ -f "$DIR/template/stamp" ] || skip "no provisioned DC in $DIR (run the ad-dc fixture: ctest -L ad-dc)"
    for tool in unshare ip mount host; do
        command -v "$tool" >/dev/null 2>&1 || skip "$tool is missing (scripts/install-deps.sh installs it)"
    done
    unshare -mn true 2>/dev/null || skip "this machine does not allow network namespaces (unshare -mn failed)"
    rm -f "$DIR/dns-skipped"
    MIVORA_DNS_NAMESPACE=1 exec unshare -mn -- "$0" "$@"
fi

# Inside the namespace from here on: its own loopback, its own mounts.
t0=$(date +%s%N)
shift
TEST=$1
shift
ip link set lo up
"$HERE/start-ad-dc.sh" --strict-auth --dns --address "$ADDRESS" --run dns-run "$DIR" >/dev/null
trap '"$HERE/stop-ad-dc.sh" "$DIR" dns-run >/dev/null' EXIT

set_records() { /usr/bin/python3 "$HERE/set-dns-records.py" "$RUN" "$@"; }
# The provisioned address record follows the DC to its address of this run; a name whose
# address nothing serves (a DC that is down), and a name of the DC that no SPN holds.
set_records dc1.example.test A "$ADDRESS"
set_records dc0.example.test A 127.77.0.5
set_records dc9.example.test A 127.77.0.6
set_records alias.example.test A "$ADDRESS"
# The DC's LDAP SPNs as samba_spnupdate (not run here) registers them, and none for its address.
ldbmodify -H "$RUN/dc/private/sam.ldb" >"$RUN/log/spn.log" 2>&1 <<LDIF || {
dn: CN=DC1,OU=Domain Controllers,DC=example,DC=test
changetype: modify
delete: servicePrincipalName
servicePrincipalName: ldap/$ADDRESS
-
add: servicePrincipalName
servicePrincipalName: ldap/dc1.example.test
servicePrincipalName: ldap/DC1
servicePrincipalName: ldap/dc1.example.test/example.test
servicePrincipalName: ldap/dc1.example.test/EXAMPLE
LDIF
    cat "$RUN/log/spn.log" >&2
    exit 1
}

ETC=$RUN/etc
mkdir -p "$ETC"
printf 'search example.test\nnameserver %s\n' "$ADDRESS" >"$ETC/resolv.conf"
cat >"$ETC/krb5.conf" <<CONF
[libdefaults]
	default_realm = EXAMPLE.TEST
	dns_lookup_realm = false
	dns_lookup_kdc = true
CONF
printf 'TLS_CACERT %s\n' "$RUN/tls/ca.pem" >"$ETC/ldap.conf"
mount --bind "$ETC/resolv.conf" /etc/resolv.conf
[ ! -e /etc/ldap/ldap.conf ] || mount --bind "$ETC/ldap.conf" /etc/ldap/ldap.conf
# A DC found through DNS before anything depends on it.
host -t SRV _ldap._tcp.example.test >"$RUN/log/host.log" 2>&1 || {
    cat "$RUN/log/host.log" >&2
    echo "dns-tier.sh: the DC's DNS does not answer" >&2
    exit 1
}
export KRB5_CONFIG=$ETC/krb5.conf KRB5CCNAME=FILE:$RUN/user-krb5cc MIVORA_DNS_RUN=$RUN
unset LDAPCONF LDAPRC LDAPURI LDAPBASE
kinit mivora-tester@EXAMPLE.TEST <"$RUN/tester.password" >"$RUN/log/user-kinit.log" 2>&1 || {
    cat "$RUN/log/user-kinit.log" >&2
    exit 1
}
echo "dns-tier.sh: namespace, DC with DNS and ticket ready in $(ms_since "$t0") ms"
status=0
"$TEST" "$@" || status=$?
exit $status
