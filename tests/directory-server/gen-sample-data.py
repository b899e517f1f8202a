#!/usr/bin/env python3
"""Write the sample directory of the Mivora test server as LDIF (slapadd input) to stdout.

usage: gen-sample-data.py [--bulk-users N] [--big-group-members M] [--user-in-groups K]
                          [--password PW]

The output is the same on every run (GUIDs, entryUUIDs and time stamps derive from the
DN), so tests may rely on every value. README.md lists the entries and what each is for.

Scale data for benchmarks, added after the sample data:
  --bulk-users N         OU=大量ユーザー with N users CN=user000001 ...
  --big-group-members M  CN=大規模グループ,CN=Users with the first M of those users
                         (raises N to M when needed)
  --user-in-groups K     CN=多数所属ユーザー,CN=Users, member of K groups in OU=多数グループ

memberOf is written into every member entry because slapadd bypasses the memberof overlay.
"""
import argparse
import base64
import hashlib
import sys
import uuid

BASE = "DC=example,DC=test"
SCHEMA = "CN=Schema,CN=Configuration," + BASE
WHEN = "20240401090000.0Z"

USERS = "CN=Users," + BASE
COMPUTERS = "CN=Computers," + BASE
DCS = "OU=Domain Controllers," + BASE
SALES = "OU=営業部," + BASE
TOKYO = "OU=東京支店," + SALES
EMPTY_OU = "OU=空の部署," + BASE
CONTACT_OU = "OU=外部連絡先," + BASE
BULK = "OU=大量," + BASE
SCALE_USERS = "OU=大量ユーザー," + BASE
SCALE_GROUPS = "OU=多数グループ," + BASE

READER = "CN=Mivora Reader," + USERS
ADMIN = "CN=administrator," + USERS

USER_OC = ("top", "person", "organizationalPerson", "user")
COMPUTER_OC = USER_OC + ("computer",)
CONTACT_OC = ("top", "person", "organizationalPerson", "contact")

BULK_CHILDREN = 2500
FAMILY = ["佐藤", "鈴木", "高橋", "田中", "伊藤", "渡辺", "山本", "中村", "小林", "加藤"]
GIVEN = ["太郎", "花子", "一郎", "次郎", "美咲", "翔太", "陽菜", "大輔", "結衣", "健"]


def needs_base64(value):
    # RFC 2849 SAFE-STRING: ASCII, not starting with space, ':' or '<', no trailing space
    return not value.isascii() or value[:1] in (" ", ":", "<") or value.endswith(" ") or "\n" in value


class Writer:
    def __init__(self, out):
        self.out = out
        self.member_of = {}  # normalised member DN -> [group DN], in group declaration order
        self.count = 0

    def declare_group(self, dn, members):
        for m in members:
            self.member_of.setdefault(m.lower(), []).append(dn)

    def entry(self, dn, classes, ad=True, **attrs):
        """ad=False for standard classes (organizationalUnit), which allow no AD attributes."""
        lines = [self.line("dn", dn)]
        lines += ["objectClass: " + c for c in classes]
        for name, value in attrs.items():
            if value is None:
                continue
            for one in value if isinstance(value, (list, tuple)) else (value,):
                lines.append(self.line(name, one))
        for group in self.member_of.get(dn.lower(), ()):
            lines.append(self.line("memberOf", group))
        guid = uuid.uuid5(uuid.NAMESPACE_URL, dn.lower())
        if ad:
            lines.append(self.line("objectGUID", guid.bytes_le))
            lines.append("whenCreated: " + WHEN)
            lines.append("whenChanged: " + WHEN)
        # slapadd keeps given operational values; otherwise it would stamp the load time
        lines.append("entryUUID: %s" % guid)
        lines.append("createTimestamp: " + WHEN)
        lines.append("modifyTimestamp: " + WHEN)
        self.out.write("\n".join(lines) + "\n\n")
        self.count += 1
        return dn

    @staticmethod
    def line(name, value):
        if isinstance(value, bytes):
            return "%s:: %s" % (name, base64.b64encode(value).decode())
        if needs_base64(value):
            return "%s:: %s" % (name, base64.b64encode(value.encode()).decode())
        return "%s: %s" % (name, value)

    def container(self, cn, parent, **extra):
        return self.entry("CN=%s,%s" % (escape_rdn(cn), parent), ("top", "container"), cn=cn, name=cn,
                          objectCategory="CN=Container," + SCHEMA, **extra)

    def ou(self, name, parent, **extra):
        return self.entry("OU=%s,%s" % (escape_rdn(name), parent), ("top", "organizationalUnit"), ad=False,
                          ou=name, **extra)

    def user(self, cn, parent, sn=None, given=None, display=None, sam=None, password=None, **extra):
        dn = "CN=%s,%s" % (escape_rdn(cn), parent)
        return self.entry(dn, USER_OC, cn=cn, name=cn, sn=sn, givenName=given, displayName=display,
                          sAMAccountName=sam, userPrincipalName=sam + "@example.test" if sam else None,
                          userAccountControl="512", objectCategory="CN=Person," + SCHEMA,
                          userPassword=ssha(password, dn) if password else None, **extra)

    def computer(self, cn, parent, os_name="Windows 11 Pro"):
        return self.entry("CN=%s,%s" % (cn, parent), COMPUTER_OC, cn=cn, name=cn, sAMAccountName=cn + "$",
                          dNSHostName=cn.lower() + ".example.test", operatingSystem=os_name,
                          userAccountControl="4096", objectCategory="CN=Computer," + SCHEMA)

    def group(self, dn, members, description=None):
        cn = rdn_value(dn)
        return self.entry(dn, ("top", "group"), cn=cn, name=cn, description=description, sAMAccountName=cn,
                          groupType="-2147483646", member=list(members) or None,
                          objectCategory="CN=Group," + SCHEMA)

    def contact(self, cn, parent, sn, mail=None):
        return self.entry("CN=%s,%s" % (escape_rdn(cn), parent), CONTACT_OC, cn=cn, name=cn, sn=sn,
                          displayName=cn, mail=mail, objectCategory="CN=Person," + SCHEMA)


def escape_rdn(value):
    """RFC 4514 escaping of an RDN value (enough for the names used here)."""
    out = value
    for ch in '\\,+"<>;=':
        out = out.replace(ch, "\\" + ch)
    if out.startswith((" ", "#")):
        out = "\\" + out
    if out.endswith(" "):
        out = out[:-1] + "\\ "
    return out


def rdn_value(dn):
    """Unescaped value of the first RDN of a DN written by this script."""
    value, i = [], dn.index("=") + 1
    while i < len(dn) and dn[i] != ",":
        if dn[i] == "\\":
            i += 1
        value.append(dn[i])
        i += 1
    return "".join(value)


def ssha(password, dn):
    """{SSHA} with a salt taken from the DN, so the output stays the same on every run."""
    salt = hashlib.sha1(dn.lower().encode()).digest()[:8]
    digest = hashlib.sha1(password.encode() + salt).digest()
    return "{SSHA}" + base64.b64encode(digest + salt).decode()


def sample(w, password):
    yamada = "CN=山田 太郎," + SALES
    sato = "CN=佐藤 花子," + TOKYO
    ito = "CN=伊藤 健," + TOKYO
    suzuki = "CN=鈴木 一郎," + USERS
    tanaka = "CN=田中 実," + USERS
    jiro = "CN=Yamada\\, Jiro," + USERS
    mueller = "CN=Hans Müller," + USERS
    pc_sales = "CN=PC-EIGYO-001," + SALES

    g_tokyo = "CN=東京支店メンバー," + TOKYO
    g_secret = "CN=機密プロジェクト," + USERS
    g_sales = "CN=営業部メンバー," + SALES
    g_all = "CN=全社員," + BASE
    g_project = "CN=プロジェクトA," + USERS
    g_admins = "CN=システム管理者," + USERS
    g_empty = "CN=空のグループ," + USERS

    # Declaration order is the order of each member's memberOf values.
    groups = [
        (g_tokyo, [sato, ito], "東京支店の全員"),
        (g_secret, [ito], "閲覧者からは見えないグループ"),
        (g_sales, [yamada, g_tokyo, pc_sales], "入れ子: 東京支店メンバーを含む"),
        (g_all, [g_sales, suzuki, tanaka, ito, jiro, mueller, g_admins], "全社員"),
        (g_project, [suzuki, g_secret, yamada, g_admins], "見えないメンバーを含む"),
        (g_admins, [ADMIN], "管理者"),
        (g_empty, [], "メンバーなし"),
    ]
    for dn, members, _ in groups:
        w.declare_group(dn, members)
    group_desc = {dn: (members, desc) for dn, members, desc in groups}

    def group(dn):
        members, desc = group_desc[dn]
        w.group(dn, members, desc)

    w.entry(BASE, ("top", "domain", "domainDNS"), dc="example", name="example",
            objectCategory="CN=Domain-DNS," + SCHEMA)

    # The root's children, in the order a paged one-level search returns them (load order).
    w.entry("CN=Builtin," + BASE, ("top", "builtinDomain"), cn="Builtin", name="Builtin",
            objectCategory="CN=Builtin-Domain," + SCHEMA)

    w.container("Computers", BASE, description="Default container for upgraded computer accounts")
    w.computer("SRV01", COMPUTERS, "Windows Server 2022 Standard")
    w.computer("PC-0001", COMPUTERS)

    w.ou("Domain Controllers", BASE, description="Default container for domain controllers")
    w.computer("DC01", DCS, "Windows Server 2022 Datacenter")

    w.entry("CN=LostAndFound," + BASE, ("top", "lostAndFound"), cn="LostAndFound", name="LostAndFound",
            objectCategory="CN=Lost-And-Found," + SCHEMA)

    w.container("Users", BASE, description="Default container for upgraded user accounts")
    w.user("administrator", USERS, sam="administrator", password=password,
           description="コンピューター/ドメインの管理用 (ビルトイン アカウント)")
    w.user("Mivora Reader", USERS, display="Mivora Reader", sam="mivora-reader",
           description="SASL EXTERNAL で接続したテスト利用者")
    w.user("鈴木 一郎", USERS, sn="鈴木", given="一郎", display="鈴木 一郎", sam="suzuki",
           mail="suzuki@example.test", department="総務部", company="例示株式会社")
    w.user("田中 実", USERS, sn="田中", given="実", sam="tanaka")
    w.contact("取引先 中村", USERS, "中村", "nakamura@partner.example")
    w.user("Yamada, Jiro", USERS, sn="Yamada", given="Jiro", display="Yamada, Jiro", sam="jyamada")
    w.user("Hans Müller", USERS, sn="Müller", given="Hans", display="Hans Müller", sam="hmueller")
    w.user("김민준", USERS, sn="김", given="민준", display="김민준", sam="minjun")
    group(g_secret)
    group(g_project)
    group(g_admins)
    group(g_empty)

    w.ou("営業部", BASE, description="営業部門")
    w.ou("東京支店", SALES)
    w.user("佐藤 花子", TOKYO, sn="佐藤", given="花子", display="佐藤 花子", sam="sato",
           department="営業部 東京支店", telephoneNumber="03-1234-5678")
    w.user("伊藤 健", TOKYO, sn="伊藤", given="健", display="伊藤 健", sam="ito")
    group(g_tokyo)
    w.user("山田 太郎", SALES, sn="山田", given="太郎", display="山田 太郎", sam="yamada",
           mail="yamada@example.test", department="営業部", title="課長")
    w.contact("取引先 佐々木", SALES, "佐々木", "sasaki@partner.example")
    w.computer("PC-EIGYO-001", SALES)
    w.entry("CN=プリンター1," + SALES, ("top", "device"), ad=False, cn="プリンター1",
            description="device (cosine): not one of the listed classes")
    group(g_sales)
    w.container("資料", SALES)

    w.contact("取引先 田中", BASE, "田中", "tanaka@partner.example")
    group(g_all)
    w.computer("PC-ROOT-001", BASE)
    w.user("高橋 直子", BASE, sn="高橋", given="直子", display="高橋 直子", sam="takahashi")
    w.ou("空の部署", BASE, description="子オブジェクトなし")
    w.ou("外部連絡先", BASE, description="連絡先だけを含む")
    w.contact("協力会社 小林", CONTACT_OU, "小林", "kobayashi@partner.example")

    w.ou("大量", BASE, description="%d objects of the listed classes and a few contacts" % BULK_CHILDREN)
    # The k-th object of a filtered listing is "NNNN-..." with NNNN = k, and the contact
    # "NNNN-cont" comes right before object NNNN. Equal-length names starting with the
    # number keep that order in non-paged searches too, which sort by RDN length, then bytes.
    for k in range(1, BULK_CHILDREN + 1):
        if k in (1, 501, 1001, 2001):
            w.contact("%04d-cont" % k, BULK, "contact")
        if k % 250 == 0:
            w.group("CN=%04d-grup,%s" % (k, BULK), [])
        elif k % 250 == 125:
            w.computer("%04d-comp" % k, BULK)
        else:
            sn, gn = FAMILY[k % 10], GIVEN[(k // 10) % 10]
            w.user("%04d-user" % k, BULK, sn=sn, given=gn, display="%s %s %04d" % (sn, gn, k))
    w.contact("%04d-cont" % (BULK_CHILDREN + 1), BULK, "contact")

    w.contact("協力会社 木村", BASE, "木村", "kimura@partner.example")


def scale(w, bulk_users, big_group_members, user_in_groups):
    big_group = "CN=大規模グループ," + USERS
    many_groups_user = "CN=多数所属ユーザー," + USERS
    bulk_dns = ["CN=user%06d,%s" % (i, SCALE_USERS) for i in range(1, bulk_users + 1)]
    if big_group_members:
        w.declare_group(big_group, bulk_dns[:big_group_members])
    group_dns = ["CN=group%05d,%s" % (i, SCALE_GROUPS) for i in range(1, user_in_groups + 1)]
    for dn in group_dns:
        w.declare_group(dn, [many_groups_user])

    if bulk_users:
        w.ou("大量ユーザー", BASE, description="%d users" % bulk_users)
        for i in range(1, bulk_users + 1):
            sn, gn = FAMILY[i % 10], GIVEN[(i // 10) % 10]
            w.user("user%06d" % i, SCALE_USERS, sn=sn, given=gn, display="%s %s %06d" % (sn, gn, i),
                   sam="user%06d" % i)
    if big_group_members:
        w.group(big_group, bulk_dns[:big_group_members], "%d members" % big_group_members)
    if user_in_groups:
        w.ou("多数グループ", BASE, description="%d groups" % user_in_groups)
        for dn in group_dns:
            w.group(dn, [many_groups_user])
        w.user("多数所属ユーザー", USERS, sn="多数", given="所属", display="多数所属ユーザー", sam="manygroups")


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--bulk-users", type=int, default=0, metavar="N")
    ap.add_argument("--big-group-members", type=int, default=0, metavar="M")
    ap.add_argument("--user-in-groups", type=int, default=0, metavar="K")
    ap.add_argument("--password", default="Passw0rd", help="password of CN=administrator (default Passw0rd)")
    a = ap.parse_args()
    if min(a.bulk_users, a.big_group_members, a.user_in_groups) < 0:
        ap.error("counts must not be negative")
    bulk_users = max(a.bulk_users, a.big_group_members)

    out = open(sys.stdout.fileno(), "w", encoding="utf-8", newline="\n", buffering=1 << 20, closefd=False)
    w = Writer(out)
    sample(w, a.password)
    scale(w, bulk_users, a.big_group_members, a.user_in_groups)
    out.flush()


if __name__ == "__main__":
    main()
