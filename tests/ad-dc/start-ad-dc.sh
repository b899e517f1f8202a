#!/bin/bash
# Start a throwaway Samba Active Directory domain controller for Mivora's AD tests.
#
#   start-ad-dc.sh [--strict-auth | --strong-auth LEVEL] [--dns] [--site SITE] [--address A] [--run NAME] DIR
#
# --strict-auth  keep Samba's default "ldap server require strong auth" (no simple binds
#                without TLS, signing on plain LDAP; since 4.20 also channel bindings over TLS);
#                by default this start relaxes it to "no" for the tests of simple binds
# --strong-auth LEVEL  set it to LEVEL: no, allow_sasl_without_tls_channel_bindings (4.20 and
#                later; else the start is skipped, its reason in DIR/NAME/skipped) or yes
# --dns          also run Samba's own DNS server (the DNS tier; only inside a namespace)
# --site SITE    this copy's server object moves into the site SITE (made here): a second DC of
#                another site, its database a copy of the first's
# --address A    take this address (inside a network namespace of its own every one is free)
# --run NAME     the running copy goes to DIR/NAME instead of DIR/run
#
# Realm EXAMPLE.TEST, DN DC=example,DC=test, sample data of gen-ad-data.py. Everything lives in
# DIR: DIR/template is the provisioned and populated domain, made once and reused while this
# script and the generator are unchanged (provisioning costs far more than the tests);
# DIR/run is the running copy, made afresh each start. The DC listens on one loopback address
# of 127.77.0.0/24 only (LDAP has no port setting in Samba, so two DCs at once each take an
# address of their own) and is ready when this returns. For the tests it leaves in DIR/run:
#   ldap.conf   URI, BASE, SASL_MECH GSSAPI, SASL_NOCANON on (for LDAPCONF)
#   krb5.conf   the realm on the DC's KDC (for KRB5_CONFIG)
#   ldaps.conf  the same with URI ldaps://<address>
#   starttls.conf  the same with URI ldap://<address>/????!StartTLS
#   krb5cc      a ticket of the test account mivora-tester, from kinit (for KRB5CCNAME)
#   address     the DC's address
# Exits 77 with a line saying why when this machine cannot run Samba (the tier is skipped).
set -euo pipefail

HERE=$(cd -- "$(dirname -- "$0")" && pwd -P)
usage() {
    echo "usage: start-ad-dc.sh [--strict-auth | --strong-auth LEVEL] [--dns] [--site SITE] [--address A] [--run NAME] DIR" >&2
    exit 2
}
STRICT_AUTH= STRONG_AUTH= WITH_DNS= SITE= FIXED_ADDRESS= RUN_NAME=run
while [ $# -gt 1 ]; do
    case $1 in
    --strict-auth) STRICT_AUTH=1 ;;
    --strong-auth) STRONG_AUTH=${2:?}; shift ;;
    --dns) WITH_DNS=1 ;;
    --site) SITE=${2:?}; shift ;;
    --address) FIXED_ADDRESS=${2:?}; shift ;;
    --run) RUN_NAME=${2:?}; shift ;;
    *) usage ;;
    esac
    shift
done
[ $# -eq 1 ] || usage
DIR=$(realpath -m -- "$1")
TEMPLATE=$DIR/template
RUN=$DIR/$RUN_NAME
REALM=EXAMPLE.TEST
# Every address a DC may take has its SPN and certificate name made at provisioning.
ADDRESSES=$(seq -f '127.77.0.%g' 10 41)
# No fsync: the domain is thrown away, and provisioning on a busy machine waits on the disk.
export TDB_NO_FSYNC=1

log() { echo "start-ad-dc.sh: $*" >&2; }
die() {
    log "$*"
    exit 1
}
ms_since() { echo $((($(date +%s%N) - $1) / 1000000)); }

skip_unless_runnable() {
    local missing=()
    for tool in samba samba-tool ldbadd ldbmodify kinit ldapsearch openssl python3; do
        command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
    done
    [ -f /usr/share/samba/setup/provision.ldif ] || missing+=("samba-ad-provision")
    [ -f /usr/lib/x86_64-linux-gnu/sasl2/libgssapiv2.so ] || ls /usr/lib/*/sasl2/libgssapiv2.so >/dev/null 2>&1 ||
        missing+=("libsasl2-modules-gssapi-mit")
    local reason=
    if [ ${#missing[@]} -gt 0 ]; then
        reason="Samba AD DC cannot run here (missing: ${missing[*]}; scripts/install-deps.sh installs them)"
    elif [ "$(id -u)" -ne 0 ]; then
        # provisioning sets file ownership and ACLs of the sysvol share
        reason="a Samba AD DC must be provisioned as root"
    fi
    [ -n "$reason" ] || return 0
    # The tests of the tier read the reason here and skip with it.
    mkdir -p "$DIR"
    rm -f "$RUN/ldap.conf"
    echo "$reason" >"$DIR/skipped"
    echo "AD tier skipped: $reason"
    exit 77
}

template_stamp() {
    cat "$HERE/start-ad-dc.sh" "$HERE/gen-ad-data.py" | sha256sum | cut -c1-16
}

# Provision, populate and configure the domain once into DIR/template.
make_template() {
    local t0 base=$TEMPLATE.new
    t0=$(date +%s%N)
    rm -rf "$base" "$TEMPLATE"
    mkdir -p "$base"/{log,run,sock,tls}
    : >"$base/empty.conf" # samba-tool would otherwise read /etc/samba/smb.conf
    samba-tool domain provision -s "$base/empty.conf" --targetdir="$base/dc" \
        --realm=$REALM --domain=EXAMPLE --server-role=dc --dns-backend=SAMBA_INTERNAL \
        --adminpass="Adm-$(head -c 12 /dev/urandom | base64 | tr -d '/+=')" --host-name=dc1 \
        --option="netbios name=DC1" \
        --option="interfaces=127.77.0.1/8" --option="bind interfaces only=yes" \
        --option="server services=ldap kdc" \
        --option="pid directory=$base/run" \
        --option="ncalrpc dir=$base/sock/ncalrpc" \
        --option="winbindd socket directory=$base/sock/winbindd" \
        --option="ntp signd socket directory=$base/sock/ntp_signd" \
        --option="log file=$base/log/log.%m" \
        --option="tls keyfile=$base/tls/key.pem" \
        --option="tls certfile=$base/tls/cert.pem" \
        --option="tls cafile=$base/tls/ca.pem" \
        >"$base/log/provision.log" 2>&1 || {
        tail -20 "$base/log/provision.log" >&2
        die "provisioning failed (log: $base/log/provision.log)"
    }
    log "provisioned in $(ms_since "$t0") ms"
    local conf=$base/dc/etc/smb.conf
    # Provisioning leaves these out of smb.conf: simple binds on plain LDAP (the TLS tests
    # use them; the default refuses them without TLS; a --strict-auth start drops it again),
    # an audit of every authentication (the tests read it to see that no password was sent),
    # no fsync of the databases.
    sed -i 's/^\[global\]$/&\n\tldap server require strong auth = no\n\tlog level = 1 auth_audit:5 auth_json_audit:5\n\tldb:nosync = true/' "$conf"
    grep -q 'auth_audit' "$conf" || die "cannot add settings to $conf"

    # A certificate for every address a DC may take (Samba's own names only its host name);
    # P-256 keys are made in milliseconds.
    (
        cd "$base/tls"
        local key="-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes"
        # shellcheck disable=SC2086 # the key options are meant to be split
        openssl req -x509 $key -keyout ca.key -out ca.pem -days 3650 -subj "/O=Mivora Test/CN=Mivora AD Test CA" &&
            openssl req $key -keyout key.pem -out req.pem -subj "/O=Mivora Test/CN=dc1.example.test" &&
            { printf 'subjectAltName=DNS:dc1.example.test,DNS:localhost'
              for a in $ADDRESSES; do printf ',IP:%s' "$a"; done
              printf '\nextendedKeyUsage=serverAuth\n'; } >ext.cnf &&
            openssl x509 -req -in req.pem -CA ca.pem -CAkey ca.key -set_serial 2 -days 3650 \
                -extfile ext.cnf -out cert.pem &&
            chmod 600 ./*.key key.pem # samba refuses a key that others can read
    ) >"$base/log/openssl.log" 2>&1 || die "certificates failed (log: $base/log/openssl.log)"

    t0=$(date +%s%N)
    python3 "$HERE/gen-ad-data.py" >"$base/sample.ldif" || die "gen-ad-data.py failed"
    ldbadd -H "$base/dc/private/sam.ldb" "$base/sample.ldif" >"$base/log/ldbadd.log" 2>&1 || {
        tail -5 "$base/log/ldbadd.log" >&2
        die "ldbadd of the sample data failed"
    }
    log "sample data added in $(ms_since "$t0") ms"

    # The test's own account. Its password is random, kept in the template for kinit only.
    t0=$(date +%s%N)
    (umask 077 && printf 'Tst-%s-9a\n' "$(head -c 12 /dev/urandom | base64 | tr -d '/+=')" >"$base/tester.password")
    samba-tool user create mivora-tester "$(cat "$base/tester.password")" -s "$conf" \
        --use-username-as-cn --given-name=Mivora --surname=Tester >"$base/log/user.log" 2>&1 || {
        cat "$base/log/user.log" >&2
        die "samba-tool user create failed"
    }
    # libldap puts the host of the URI in the service name (SASL_NOCANON: no reverse lookup),
    # so each address needs its ldap/ SPN on the DC's account. The tester's password never
    # expires: the template outlives the domain's 42-day maximum.
    {
        printf 'dn: CN=DC1,OU=Domain Controllers,DC=example,DC=test\nchangetype: modify\nadd: servicePrincipalName\n'
        for a in $ADDRESSES; do printf 'servicePrincipalName: ldap/%s\n' "$a"; done
        printf -- '-\n\ndn: CN=mivora-tester,CN=Users,DC=example,DC=test\nchangetype: modify\n'
        printf 'replace: userAccountControl\nuserAccountControl: 66048\n-\n'
    } >"$base/template.ldif"
    ldbmodify -H "$base/dc/private/sam.ldb" "$base/template.ldif" >"$base/log/ldbmodify.log" 2>&1 || {
        cat "$base/log/ldbmodify.log" >&2
        die "ldbmodify of the SPNs failed"
    }
    log "test account and SPNs in $(ms_since "$t0") ms"
    # smb.conf names this folder; a start puts its own in its place.
    printf '%s\n' "$base" >"$base/origin"
    template_stamp >"$base/stamp"
    mv "$base" "$TEMPLATE"
}

# Prints the first address of ADDRESSES (from one that depends on DIR) whose ports are free.
pick_address() {
    python3 - "$DIR" $ADDRESSES <<'EOF'
import socket, sys, zlib
dir_, addresses = sys.argv[1], sys.argv[2:]
start = zlib.crc32(dir_.encode()) % len(addresses)
for address in addresses[start:] + addresses[:start]:
    try:
        for kind, port in ((socket.SOCK_STREAM, p) for p in (389, 636, 3268, 3269, 88, 464)):
            with socket.socket(socket.AF_INET, kind) as s:
                # as samba binds: a connection of an earlier DC in TIME_WAIT is no obstacle
                s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
                s.bind((address, port))
        for port in (88, 464):
            with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
                s.bind((address, port))
    except OSError:
        continue
    print(address)
    break
else:
    raise SystemExit("no free address in 127.77.0.0/24")
EOF
}

# Copies the template to DIR/run for ADDRESS and starts samba there; fails if it exits.
run_dc() {
    local address=$1 t0
    rm -rf "$RUN"
    cp -a "$TEMPLATE" "$RUN"
    local conf=$RUN/dc/etc/smb.conf origin run
    # The paths as sed reads them: the template's literally, the run's as a replacement.
    origin=$(sed 's/[][\.*^$|]/\\&/g' "$RUN/origin")
    run=$(printf '%s\n' "$RUN" | sed 's/[\&|]/\\&/g')
    sed -i -e "s|$origin|$run|g" -e "s|^\(\s*interfaces =\).*|\1 $address/8|" "$conf"
    if [ -n "$STRONG_AUTH" ]; then
        sed -i "s/^\(\s*ldap server require strong auth =\).*/\1 $STRONG_AUTH/" "$conf"
        grep -q "require strong auth = $STRONG_AUTH$" "$conf" || die "cannot set strong auth in $conf"
    elif [ -n "$STRICT_AUTH" ]; then
        sed -i '/^\s*ldap server require strong auth = no$/d' "$conf"
        ! grep -q 'require strong auth' "$conf" || die "cannot restore the strong auth default in $conf"
    fi
    if [ -n "$WITH_DNS" ]; then
        sed -i 's/^\(\s*server services =\).*/\1 ldap kdc dns/' "$conf"
        # Provisioning named the machine's resolver as forwarder: this DNS answers for its own
        # zone only and never asks anybody else.
        sed -i '/^\s*dns forwarder =/d' "$conf"
        grep -q 'server services = ldap kdc dns$' "$conf" || die "cannot add dns to $conf"
    fi
    grep -qF "private dir = $RUN/dc/private" "$conf" || die "cannot point $conf at $RUN"
    if [ -n "$SITE" ]; then
        local sites=CN=Sites,CN=Configuration,DC=example,DC=test
        { samba-tool sites create "$SITE" -s "$conf" &&
            ldbrename -H "$RUN/dc/private/sam.ldb" "CN=DC1,CN=Servers,CN=Default-First-Site-Name,$sites" \
                "CN=DC1,CN=Servers,CN=$SITE,$sites"; } >"$RUN/log/site.log" 2>&1 || {
            cat "$RUN/log/site.log" >&2
            die "cannot move the DC into site $SITE"
        }
    fi
    grep -qF "interfaces = $address/8" "$conf" || die "cannot set the address in $conf"
    echo "$address" >"$RUN/address"
    t0=$(date +%s%N)
    # -F with the log on stdout, not -i: -i ends samba when its stdin reaches EOF. The
    # maximum runtime ends a DC whose stop never came (a killed ctest).
    samba -F --debug-stdout -M single -s "$conf" --maximum-runtime=3600 </dev/null >"$RUN/log/samba.out" 2>&1 &
    echo $! >"$RUN/samba.pid"
    for _ in $(seq 1 1200); do
        if ! kill -0 "$(cat "$RUN/samba.pid")" 2>/dev/null; then
            log "samba on $address exited:"
            tail -5 "$RUN/log/samba.out" >&2
            return 1
        fi
        if LDAPNOINIT=1 timeout 5 ldapsearch -o nettimeout=2 -x -H "ldap://$address" -b "" -s base \
            -LLL defaultNamingContext 2>/dev/null | grep -q '^defaultNamingContext: DC=example,DC=test'; then
            log "samba answering on $address after $(ms_since "$t0") ms (pid $(cat "$RUN/samba.pid"))"
            return 0
        fi
        sleep 0.05
    done
    log "samba on $address did not answer in 60 s"
    return 1
}

write_client_config() {
    local address=$1
    cat >"$RUN/krb5.conf" <<EOF
[libdefaults]
	default_realm = $REALM
	dns_lookup_realm = false
	dns_lookup_kdc = false
	rdns = false
	dns_canonicalize_hostname = false
	udp_preference_limit = 1
[realms]
	$REALM = {
		kdc = $address
	}
[domain_realm]
	$address = $REALM
EOF
    local uri
    for uri in ldap:ldap://$address ldaps:ldaps://$address "starttls:ldap://$address/????!StartTLS"; do
        cat >"$RUN/${uri%%:*}.conf" <<EOF
URI ${uri#*:}
BASE DC=example,DC=test
SASL_MECH GSSAPI
SASL_NOCANON on
TLS_CACERT $RUN/tls/ca.pem
EOF
    done
}

do_kinit() {
    KRB5_CONFIG=$RUN/krb5.conf KRB5CCNAME=FILE:$RUN/krb5cc kinit mivora-tester@$REALM \
        <"$RUN/tester.password" >"$RUN/log/kinit.log" 2>&1 || {
        cat "$RUN/log/kinit.log" >&2
        return 1
    }
}

skip_unless_runnable
SAMBA_VERSION=$(samba -V | sed -n 's/^Version \([0-9]*\.[0-9]*\.[0-9]*\).*/\1/p')
case $STRONG_AUTH in
'' | no | yes) ;;
allow_sasl_without_tls_channel_bindings)
    if [ "$(printf '%s\n' 4.20 "$SAMBA_VERSION" | sort -V | head -n1)" != 4.20 ]; then
        "$HERE/stop-ad-dc.sh" "$DIR" "$RUN_NAME" >/dev/null
        rm -rf "$RUN" && mkdir -p "$RUN"
        echo "Samba $SAMBA_VERSION has no level $STRONG_AUTH (4.20 and later check channel bindings)" | tee "$RUN/skipped"
        exit 77
    fi ;;
*) usage ;;
esac
t_all=$(date +%s%N)
mkdir -p "$DIR"
if [ ! -f "$TEMPLATE/stamp" ] || [ "$(cat "$TEMPLATE/stamp")" != "$(template_stamp)" ]; then
    make_template
fi
# A DC still running from DIR goes first, so that its address is free again.
"$HERE/stop-ad-dc.sh" "$DIR" "$RUN_NAME" >/dev/null
started=
for _ in 1 2 3; do
    if [ -n "$FIXED_ADDRESS" ]; then
        address=$FIXED_ADDRESS
    else
        address=$(pick_address) || die "no free loopback address for the DC"
    fi
    if run_dc "$address"; then
        started=$address
        break
    fi
done
[ -n "$started" ] || die "samba did not start (log: $RUN/log/samba.out)"
# A DC that started but cannot serve the tests is stopped again.
trap '"$HERE/stop-ad-dc.sh" "$DIR" "$RUN_NAME" >/dev/null' EXIT
write_client_config "$started"
echo "$SAMBA_VERSION" >"$RUN/samba-version"
do_kinit || die "kinit as mivora-tester failed"
# Samba has no "Who am I?" operation: a GSSAPI bind and a read of the account proves the same.
LDAPCONF=$RUN/ldap.conf KRB5_CONFIG=$RUN/krb5.conf KRB5CCNAME=FILE:$RUN/krb5cc \
    ldapsearch -Q -LLL -b "CN=mivora-tester,CN=Users,DC=example,DC=test" -s base dn >"$RUN/log/bind.log" 2>&1 || {
    cat "$RUN/log/bind.log" >&2
    die "a GSSAPI bind as mivora-tester failed"
}
trap - EXIT
rm -f "$DIR/skipped"
log "AD DC ready on ldap://$started in $(ms_since "$t_all") ms"
