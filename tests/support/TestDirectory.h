#pragma once

#include <QString>
#include <QStringList>

// Names of the sample directory of tests/directory-server (its README.md has the table),
// spelled as slapd returns DNs: lower-case attribute types, values as loaded, an escaped
// comma as \2C. member and memberOf values come back as loaded instead ("CN=...,DC=...").
namespace TestDirectory {

inline const QString domain = QStringLiteral("example.test");
inline const QString base = QStringLiteral("dc=example,dc=test");

inline const QString readerDn = QStringLiteral("cn=Mivora Reader,cn=Users,dc=example,dc=test");
// What ldapwhoami shows for the reader (slapd normalises the authz DN)
inline const QString readerAuthzId = QStringLiteral("dn:cn=mivora reader,cn=users,dc=example,dc=test");
inline const QString administratorDn = QStringLiteral("cn=administrator,cn=Users,dc=example,dc=test");
inline const QString administratorPassword = QStringLiteral("Passw0rd");

// containers and organizational units
inline const QString users = QStringLiteral("cn=Users,dc=example,dc=test");
inline const QString computers = QStringLiteral("cn=Computers,dc=example,dc=test");
inline const QString domainControllers = QStringLiteral("ou=Domain Controllers,dc=example,dc=test");
inline const QString sales = QStringLiteral("ou=営業部,dc=example,dc=test");
inline const QString tokyo = QStringLiteral("ou=東京支店,ou=営業部,dc=example,dc=test");
inline const QString salesDocuments = QStringLiteral("cn=資料,ou=営業部,dc=example,dc=test");
inline const QString emptyOu = QStringLiteral("ou=空の部署,dc=example,dc=test");
inline const QString contactOnlyOu = QStringLiteral("ou=外部連絡先,dc=example,dc=test");
inline const QString bulkOu = QStringLiteral("ou=大量,dc=example,dc=test");

// users
inline const QString yamadaTaro = QStringLiteral("cn=山田 太郎,ou=営業部,dc=example,dc=test"); // in two groups
inline const QString satoHanako
    = QStringLiteral("cn=佐藤 花子,ou=東京支店,ou=営業部,dc=example,dc=test"); // in one group
inline const QString itoKen = QStringLiteral("cn=伊藤 健,ou=東京支店,ou=営業部,dc=example,dc=test"); // one group hidden
inline const QString suzukiIchiro = QStringLiteral("cn=鈴木 一郎,cn=Users,dc=example,dc=test");
inline const QString tanakaMinoru = QStringLiteral("cn=田中 実,cn=Users,dc=example,dc=test"); // no displayName
inline const QString takahashiNaoko = QStringLiteral("cn=高橋 直子,dc=example,dc=test"); // in no group
inline const QString yamadaJiro = QStringLiteral("cn=Yamada\\2C Jiro,cn=Users,dc=example,dc=test");
inline const QString hansMueller = QStringLiteral("cn=Hans Müller,cn=Users,dc=example,dc=test"); // not CP932
inline const QString kimMinjun = QStringLiteral("cn=김민준,cn=Users,dc=example,dc=test"); // not CP932

// groups
inline const QString allStaff = QStringLiteral("cn=全社員,dc=example,dc=test"); // nested, in no group
inline const QString salesMembers = QStringLiteral("cn=営業部メンバー,ou=営業部,dc=example,dc=test");
inline const QString tokyoMembers = QStringLiteral("cn=東京支店メンバー,ou=東京支店,ou=営業部,dc=example,dc=test");
inline const QString projectA = QStringLiteral("cn=プロジェクトA,cn=Users,dc=example,dc=test"); // hidden member
inline const QString sysAdmins = QStringLiteral("cn=システム管理者,cn=Users,dc=example,dc=test"); // in two groups
inline const QString emptyGroup = QStringLiteral("cn=空のグループ,cn=Users,dc=example,dc=test");
// noSuchObject for the reader
inline const QString hiddenGroup = QStringLiteral("cn=機密プロジェクト,cn=Users,dc=example,dc=test");

// computers
inline const QString srv01 = QStringLiteral("cn=SRV01,cn=Computers,dc=example,dc=test");
inline const QString pc0001 = QStringLiteral("cn=PC-0001,cn=Computers,dc=example,dc=test");
inline const QString dc01 = QStringLiteral("cn=DC01,ou=Domain Controllers,dc=example,dc=test");
inline const QString pcSales = QStringLiteral("cn=PC-EIGYO-001,ou=営業部,dc=example,dc=test");
inline const QString pcRoot = QStringLiteral("cn=PC-ROOT-001,dc=example,dc=test");

// outside the five classes
inline const QString rootContact = QStringLiteral("cn=取引先 田中,dc=example,dc=test");
inline const QString lastRootContact = QStringLiteral("cn=協力会社 木村,dc=example,dc=test");
inline const QString usersContact = QStringLiteral("cn=取引先 中村,cn=Users,dc=example,dc=test");
inline const QString salesContact = QStringLiteral("cn=取引先 佐々木,ou=営業部,dc=example,dc=test");
inline const QString contactOuContact = QStringLiteral("cn=協力会社 小林,ou=外部連絡先,dc=example,dc=test");
inline const QString printer = QStringLiteral("cn=プリンター1,ou=営業部,dc=example,dc=test");
inline const QString builtin = QStringLiteral("cn=Builtin,dc=example,dc=test");
inline const QString lostAndFound = QStringLiteral("cn=LostAndFound,dc=example,dc=test");

// The root's children of the five classes, in the order of a paged one-level search.
inline const QStringList rootListing { computers, domainControllers, users, sales, allStaff, pcRoot, takahashiNaoko,
    emptyOu, contactOnlyOu, bulkOu };

// ou=大量 lists exactly this many objects of the five classes (and holds 5 contacts more).
inline constexpr int bulkListedChildren = 2500;

// Class of the k-th (1-based) listed child of ou=大量.
QString bulkChildClass(int k);
// DN of the k-th (1-based) listed child of ou=大量, e.g. cn=0125-comp,ou=大量,dc=example,dc=test.
QString bulkChildDn(int k);

QString adsPath(const QString& dn);
// The first RDN of a DN (what the program shows as Name): "cn=Users" of cn=Users,dc=...
QString firstRdn(const QString& dn);

} // namespace TestDirectory
