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
# authentication, and no PTR records; a second DC on 127.77.0.20 as dc2.example.test, a copy of
# the first whose server object is in the site Osaka, the client's site (the subnet 127.0.0.0/24,
# which holds the client's address 127.0.0.1, belongs to Osaka in both databases). Packets to
# 127.77.0.7 and .8 (drop1 and drop2.example.test) are dropped, as for a DC behind a firewall. As on a real DC no SPN names its address (the AD tier's
# template has them; they go once the DC is up), so a service name taken from the address
# instead of the host name fails. TEST gets MIVORA_DNS_RUN and MIVORA_DNS_SITE_RUN
# (the DCs' running copies; the first's etc/ holds the client files). Exits 77 with a line saying why
# where this cannot run (not root, no namespaces, no DC template).
set -euo pipefail

HERE=$(cd -- "$(dirname -- "$0")" && pwd -P)
[ $# -ge 2 ] || {
    echo "usage: dns-tier.sh DIR TEST [ARGS...]" >&2
    exit 2
}
DIR=$(realpath -m -- "$1")
RUN=$DIR/dns-run
SITE_RUN=$DIR/dns-run2
ADDRESS=127.77.0.10
SITE_ADDRESS=127.77.0.20

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
    for tool in unshare ip mount host nft; do
        command -v "$tool" >/dev/null 2>&1 || skip "$tool is missing (scripts/install-deps.sh installs it)"
    done
    unshare -mn true 2>/dev/null || skip "this machine does not allow network namespaces (unshare -mn failed)"
    unshare -mn nft add table inet mivora_probe 2>/dev/null || skip "this kernel has no nftables for the dropped DCs"
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
trap '"$HERE/stop-ad-dc.sh" "$DIR" dns-run >/dev/null; "$HERE/stop-ad-dc.sh" "$DIR" dns-run2 >/dev/null' EXIT
"$HERE/start-ad-dc.sh" --strict-auth --site Osaka --address "$SITE_ADDRESS" --run dns-run2 "$DIR" >/dev/null
for run in "$RUN" "$SITE_RUN"; do
    { samba-tool sites create Osaka -s "$run/dc/etc/smb.conf" || true
      samba-tool sites subnet create 127.0.0.0/24 Osaka -s "$run/dc/etc/smb.conf"; } >>"$run/log/site.log" 2>&1 || {
        cat "$run/log/site.log" >&2
        exit 1
    }
done
nft -f - <<NFT
table inet mivora_dns_tier {
	chain out {
		type filter hook output priority filter; policy accept;
		ip daddr { 127.77.0.7, 127.77.0.8 } drop
	}
}
NFT

set_records() { /usr/bin/python3 "$HERE/set-dns-records.py" "$RUN" "$@"; }
# The provisioned address record follows the DC to its address of this run; a name whose
# address nothing serves (a DC that is down), and a name of the DC that no SPN holds.
set_records dc1.example.test A "$ADDRESS"
set_records dc0.example.test A 127.77.0.5
set_records dc9.example.test A 127.77.0.6
set_records dc2.example.test A "$SITE_ADDRESS"
set_records drop1.example.test A 127.77.0.7
set_records drop2.example.test A 127.77.0.8
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
servicePrincipalName: ldap/dc2.example.test
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
host -t SRV _ldap._tcp.dc._msdcs.example.test >"$RUN/log/host.log" 2>&1 || {
    cat "$RUN/log/host.log" >&2
    echo "dns-tier.sh: the DC's DNS does not answer" >&2
    exit 1
}
export KRB5_CONFIG=$ETC/krb5.conf KRB5CCNAME=FILE:$RUN/user-krb5cc MIVORA_DNS_RUN=$RUN MIVORA_DNS_SITE_RUN=$SITE_RUN
unset LDAPCONF LDAPRC LDAPURI LDAPBASE
kinit mivora-tester@EXAMPLE.TEST <"$RUN/tester.password" >"$RUN/log/user-kinit.log" 2>&1 || {
    cat "$RUN/log/user-kinit.log" >&2
    exit 1
}
echo "dns-tier.sh: namespace, DC with DNS and ticket ready in $(ms_since "$t0") ms"
status=0
"$TEST" "$@" || status=$?
exit $status
