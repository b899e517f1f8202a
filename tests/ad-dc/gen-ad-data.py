#!/usr/bin/env python3
"""Writes the sample data of the Samba test domain as LDIF for ldbadd (UTF-8, DN order).

Usage: gen-ad-data.py [--bulk-users N]

The objects mirror the slapd sample directory's where Active Directory allows it: Japanese
OUs, users with and without displayName, nested groups, a big group, computers, contacts and
DNs with escaped characters. What the domain holds by itself (CN=Users, CN=Builtin, ...)
comes from the provisioning. README.md has the table.
"""
import argparse
import sys

BASE = "DC=example,DC=test"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bulk-users", type=int, default=1600)
    args = parser.parse_args()

    entries = []

    def add(dn, *lines):
        entries.append("dn: %s\n%s\n" % (dn, "\n".join(lines)))

    def ou(dn, description=None):
        add(dn, "objectClass: organizationalUnit", *(["description: " + description] if description else []))

    def user(dn, account, sn=None, given=None, display=None):
        lines = ["objectClass: user", "sAMAccountName: " + account, "userAccountControl: 512"]
        if sn:
            lines.append("sn: " + sn)
        if given:
            lines.append("givenName: " + given)
        if display:
            lines.append("displayName: " + display)
        add(dn, *lines)

    def computer(dn, account):
        add(dn, "objectClass: computer", "sAMAccountName: %s$" % account, "userAccountControl: 4096")

    def group(dn, account, members):
        add(dn, "objectClass: group", "sAMAccountName: " + account, *["member: " + m for m in members])

    def contact(dn, mail):
        add(dn, "objectClass: contact", "mail: " + mail)

    sales = "OU=営業部," + BASE
    tokyo = "OU=東京支店," + sales
    users = "CN=Users," + BASE
    bulk = "OU=大量," + BASE

    ou(sales, "営業")
    ou(tokyo)
    ou("OU=空の部署," + BASE)
    add("CN=資料," + sales, "objectClass: container")

    yamada_taro = "CN=山田 太郎," + sales
    sato_hanako = "CN=佐藤 花子," + tokyo
    tanaka_minoru = "CN=田中 実," + users
    yamada_jiro = "CN=Yamada\\, Jiro," + users
    suzuki_equals = "CN=鈴木\\3D一郎," + users
    takahashi_hash = "CN=\\#高橋 直子," + users
    user(yamada_taro, "yamada.taro", "山田", "太郎", "山田 太郎")
    user(sato_hanako, "sato.hanako", "佐藤", "花子", "佐藤 花子")
    user(tanaka_minoru, "tanaka.minoru", "田中", "実")  # no displayName
    user(yamada_jiro, "yamada.jiro", "Yamada", "Jiro", "Yamada, Jiro")
    user(suzuki_equals, "suzuki.ichiro", "鈴木", "一郎", "鈴木=一郎")
    user(takahashi_hash, "takahashi.naoko", "高橋", "直子", "#高橋 直子")

    pc_sales = "CN=PC-EIGYO-001," + sales
    computer(pc_sales, "PC-EIGYO-001")
    computer("CN=PC-0001,CN=Computers," + BASE, "PC-0001")

    contact("CN=取引先 中村," + users, "nakamura@example.com")
    contact("CN=取引先 田中," + BASE, "tanaka@example.com")

    tokyo_members = "CN=東京支店メンバー," + tokyo
    sales_members = "CN=営業部メンバー," + sales
    group(tokyo_members, "tokyo-members", [sato_hanako])
    group(sales_members, "sales-members", [yamada_taro, tokyo_members, pc_sales])
    group("CN=全社員," + users, "all-staff",
          [sales_members, tanaka_minoru, yamada_jiro, suzuki_equals, takahashi_hash])
    group("CN=プロジェクトA," + users, "project-a", [yamada_taro, tanaka_minoru])

    ou(bulk)
    bulk_users = ["CN=社員%04d,%s" % (i, bulk) for i in range(1, args.bulk_users + 1)]
    for i, dn in enumerate(bulk_users, 1):
        user(dn, "bulk%04d" % i, "社員", "%04d" % i, "社員 %04d" % i)
    group("CN=大量グループ," + bulk, "bulk-group", bulk_users)

    sys.stdout.write("\n".join(entries))


if __name__ == "__main__":
    main()
