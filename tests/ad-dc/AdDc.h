#pragma once

// The Samba test domain of tests/ad-dc (start-ad-dc.sh, gen-ad-data.py): its names as Samba
// returns them (attribute types upper-case, values as stored, escapes kept as added), and the
// check that skips a test when the tier could not start on this machine.

#include "LdapSearch.h"
#include "TestDirectory.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTest>

namespace AdDc {

using TestDirectory::domain;
inline const QString base = QStringLiteral("DC=example,DC=test");

// What the domain holds by itself
inline const QString users = QStringLiteral("CN=Users,") + base;
inline const QString computers = QStringLiteral("CN=Computers,") + base;
inline const QString domainControllers = QStringLiteral("OU=Domain Controllers,") + base;
inline const QString system = QStringLiteral("CN=System,") + base;
inline const QString builtin = QStringLiteral("CN=Builtin,") + base;
inline const QString lostAndFound = QStringLiteral("CN=LostAndFound,") + base;
inline const QString infrastructure = QStringLiteral("CN=Infrastructure,") + base;
inline const QString dc1 = QStringLiteral("CN=DC1,OU=Domain Controllers,") + base;
inline const QString domainUsers = QStringLiteral("CN=Domain Users,CN=Users,") + base;
inline const QString tester = QStringLiteral("CN=mivora-tester,CN=Users,") + base;
// The partitions the domain's root refers to (search references, never entries)
inline const QStringList referredPartitions { QStringLiteral("CN=Configuration,") + base,
    QStringLiteral("DC=DomainDnsZones,") + base, QStringLiteral("DC=ForestDnsZones,") + base };

// The sample data
inline const QString sales = QStringLiteral("OU=営業部,") + base;
inline const QString tokyo = QStringLiteral("OU=東京支店,OU=営業部,") + base;
inline const QString emptyOu = QStringLiteral("OU=空の部署,") + base;
inline const QString bulkOu = QStringLiteral("OU=大量,") + base;
inline const QString salesDocuments = QStringLiteral("CN=資料,OU=営業部,") + base;
inline const QString yamadaTaro = QStringLiteral("CN=山田 太郎,OU=営業部,") + base;
inline const QString satoHanako = QStringLiteral("CN=佐藤 花子,OU=東京支店,OU=営業部,") + base;
inline const QString tanakaMinoru = QStringLiteral("CN=田中 実,CN=Users,") + base; // no displayName
inline const QString yamadaJiro = QStringLiteral("CN=Yamada\\, Jiro,CN=Users,") + base;
inline const QString suzukiEquals = QStringLiteral("CN=鈴木\\3D一郎,CN=Users,") + base;
inline const QString takahashiHash = QStringLiteral("CN=\\#高橋 直子,CN=Users,") + base;
inline const QString pcSales = QStringLiteral("CN=PC-EIGYO-001,OU=営業部,") + base;
inline const QString pc0001 = QStringLiteral("CN=PC-0001,CN=Computers,") + base;
inline const QString usersContact = QStringLiteral("CN=取引先 中村,CN=Users,") + base;
inline const QString rootContact = QStringLiteral("CN=取引先 田中,") + base;
inline const QString tokyoMembers = QStringLiteral("CN=東京支店メンバー,OU=東京支店,OU=営業部,") + base;
inline const QString salesMembers = QStringLiteral("CN=営業部メンバー,OU=営業部,") + base;
inline const QString allStaff = QStringLiteral("CN=全社員,CN=Users,") + base;
inline const QString projectA = QStringLiteral("CN=プロジェクトA,CN=Users,") + base;
inline const QString bulkGroup = QStringLiteral("CN=大量グループ,OU=大量,") + base;
inline constexpr int bulkUsers = 1600;

using TestDirectory::adsPath;

// The paths of the users of OU=大量, CN=社員0001 first.
QStringList bulkUserPaths();

// The running DC's folder: DIR/run, or another start's (start-ad-dc.sh --run) named by
// MIVORA_AD_DC_RUN.
extern const QString runDirectory;

// What the DC of `run` (a start's folder) has logged so far, its audit of every authentication among it.
QByteArray dcLog(const QString& run = runDirectory);

// The log's lines of binds with a name and a password ("[LDAP,simple bind]"), but for the
// anonymous ones that the fixture's readiness checks make. The JSON copy of each audit line
// is left out (it tells anonymous binds differently).
QList<QByteArray> passwordBindsIn(const QByteArray& log);

// Samba's JSON audit of the authorisations in `log`: the transport protection of each LDAP
// session of the test account ("TLS", "SEAL", "SIGN" or "NONE").
QStringList ldapProtectionsOfTheTester(const QByteArray& log);

// Empty when the DC is up; else why the tier is skipped. The word "AD tier skipped" in a
// skip message makes ctest count the test as skipped.
QString skipReason();

#define AD_DC_SKIP_UNLESS_RUNNING()                                                                                    \
    do {                                                                                                               \
        const QString reason = AdDc::skipReason();                                                                     \
        if (!reason.isEmpty())                                                                                         \
            QSKIP(qPrintable(reason));                                                                                 \
    } while (false)

// ldapsearch as the test account (the same ldap.conf and ticket as the program).
using ::ldapsearch;
using ::valuesOf;

} // namespace AdDc
