#!/usr/bin/python3
# Replace DNS records of the test domain in a DC's own database (DIR/NAME of start-ad-dc.sh),
# while it runs or not; Samba's DNS server answers from this database at once.
#
#   set-dns-records.py RUNDIR NAME TYPE [VALUE...]
#
#   NAME  a name of the zone example.test or _msdcs.example.test, fully spelled
#         (dc0.example.test, _ldap._tcp.example.test, _ldap._tcp.dc._msdcs.example.test)
#   A     VALUE is an IPv4 address
#   SRV   VALUE is target:port:priority (weight 100)
# Every record of NAME is replaced by the ones given (none: NAME is left without records); a name
# not in the zone yet is added.
import sys

import ldb
from samba.auth import system_session
from samba.ndr import ndr_pack
from samba.param import LoadParm
from samba.provision.sambadns import ARecord, SRVRecord
from samba.samdb import SamDB

if len(sys.argv) < 4 or sys.argv[3] not in ("A", "SRV"):
    sys.exit("usage: set-dns-records.py RUNDIR NAME A|SRV [VALUE...]")
run, name, kind, values = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]
lp = LoadParm()
lp.load(f"{run}/dc/etc/smb.conf")
samdb = SamDB(url=f"{run}/dc/private/sam.ldb", session_info=system_session(), lp=lp)
records = []
for value in values:
    if kind == "A":
        records.append(ARecord(value, ttl=0))
    else:
        target, port, priority = value.split(":")
        records.append(SRVRecord(target, int(port), priority=int(priority), ttl=0))
# The DC locator's names live in the forest's own zone, the others in the domain's.
if name.endswith("._msdcs.example.test"):
    zone, partition = "_msdcs.example.test", "ForestDnsZones"
elif name.endswith(".example.test"):
    zone, partition = "example.test", "DomainDnsZones"
else:
    sys.exit(f"{name} is not in example.test")
node = f"DC={name[: -len(zone) - 1]},DC={zone},CN=MicrosoftDNS,DC={partition},DC=example,DC=test"
try:
    samdb.search(base=node, scope=ldb.SCOPE_BASE, attrs=["dn"])
    exists = True
except ldb.LdbError:
    exists = False
if not records:
    # Replacing by nothing would tombstone the node, and a tombstone keeps later records hidden.
    if exists:
        samdb.delete(node)
elif exists:
    samdb.dns_replace(name, records)
else:
    # Provisioning made no record for an address on loopback: a name of its own is added whole.
    samdb.add({"dn": node, "objectClass": "dnsNode", "dnsRecord": [ndr_pack(r) for r in records]})
