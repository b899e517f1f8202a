#pragma once

// The Samba test domain of tests/ad-dc (start-ad-dc.sh, gen-ad-data.py): its names as Samba
// returns them (attribute types upper-case, values as stored, escapes kept as added), and the
// check that skips a test when the tier could not start on this machine.

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTest>

namespace AdDc {

inline const QString domain = QStringLiteral("example.test");
inline const QString base = QStringLiteral("DC=example,DC=test");

// What the domain holds by itself
inline const QString users = QStringLiteral("CN=Users,DC=example,DC=test");
inline const QString computers = QStringLiteral("CN=Computers,DC=example,DC=test");
inline const QString domainControllers = QStringLiteral("OU=Domain Controllers,DC=example,DC=test");
inline const QString system = QStringLiteral("CN=System,DC=example,DC=test");
inline const QString builtin = QStringLiteral("CN=Builtin,DC=example,DC=test");
inline const QString lostAndFound = QStringLiteral("CN=LostAndFound,DC=example,DC=test");
inline const QString infrastructure = QStringLiteral("CN=Infrastructure,DC=example,DC=test");
inline const QString dc1 = QStringLiteral("CN=DC1,OU=Domain Controllers,DC=example,DC=test");
inline const QString domainUsers = QStringLiteral("CN=Domain Users,CN=Users,DC=example,DC=test");
inline const QString tester = QStringLiteral("CN=mivora-tester,CN=Users,DC=example,DC=test");
// The partitions the domain's root refers to (search references, never entries)
inline const QStringList referredPartitions { QStringLiteral("CN=Configuration,DC=example,DC=test"),
    QStringLiteral("DC=DomainDnsZones,DC=example,DC=test"), QStringLiteral("DC=ForestDnsZones,DC=example,DC=test") };

// The sample data
inline const QString sales = QStringLiteral("OU=営業部,DC=example,DC=test");
inline const QString tokyo = QStringLiteral("OU=東京支店,OU=営業部,DC=example,DC=test");
inline const QString emptyOu = QStringLiteral("OU=空の部署,DC=example,DC=test");
inline const QString bulkOu = QStringLiteral("OU=大量,DC=example,DC=test");
inline const QString salesDocuments = QStringLiteral("CN=資料,OU=営業部,DC=example,DC=test");
inline const QString yamadaTaro = QStringLiteral("CN=山田 太郎,OU=営業部,DC=example,DC=test");
inline const QString satoHanako = QStringLiteral("CN=佐藤 花子,OU=東京支店,OU=営業部,DC=example,DC=test");
inline const QString tanakaMinoru = QStringLiteral("CN=田中 実,CN=Users,DC=example,DC=test"); // no displayName
inline const QString yamadaJiro = QStringLiteral("CN=Yamada\\, Jiro,CN=Users,DC=example,DC=test");
inline const QString suzukiEquals = QStringLiteral("CN=鈴木\\3D一郎,CN=Users,DC=example,DC=test");
inline const QString takahashiHash = QStringLiteral("CN=\\#高橋 直子,CN=Users,DC=example,DC=test");
inline const QString pcSales = QStringLiteral("CN=PC-EIGYO-001,OU=営業部,DC=example,DC=test");
inline const QString pc0001 = QStringLiteral("CN=PC-0001,CN=Computers,DC=example,DC=test");
inline const QString usersContact = QStringLiteral("CN=取引先 中村,CN=Users,DC=example,DC=test");
inline const QString rootContact = QStringLiteral("CN=取引先 田中,DC=example,DC=test");
inline const QString tokyoMembers = QStringLiteral("CN=東京支店メンバー,OU=東京支店,OU=営業部,DC=example,DC=test");
inline const QString salesMembers = QStringLiteral("CN=営業部メンバー,OU=営業部,DC=example,DC=test");
inline const QString allStaff = QStringLiteral("CN=全社員,CN=Users,DC=example,DC=test");
inline const QString projectA = QStringLiteral("CN=プロジェクトA,CN=Users,DC=example,DC=test");
inline const QString bulkGroup = QStringLiteral("CN=大量グループ,OU=大量,DC=example,DC=test");
inline constexpr int bulkUsers = 1600;

inline QString adsPath(const QString& dn)
{
    return QStringLiteral("LDAP://") + dn;
}

// The paths of the users of OU=大量, CN=社員0001 first.
inline QStringList bulkUserPaths()
{
    QStringList paths;
    for (int k = 1; k <= bulkUsers; ++k)
        paths.append(adsPath(QStringLiteral("CN=社員%1,").arg(k, 4, 10, QLatin1Char('0')) + bulkOu));
    return paths;
}

// The running DC's folder: DIR/run, or another start's (start-ad-dc.sh --run) named by
// MIVORA_AD_DC_RUN.
inline const QString runDirectory
    = qEnvironmentVariable("MIVORA_AD_DC_RUN", QStringLiteral(MIVORA_AD_DC_DIRECTORY "/run"));

// What the DC has logged so far, its audit of every authentication among it.
inline QByteArray dcLog()
{
    QFile log(runDirectory + QStringLiteral("/log/samba.out"));
    return log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
}

// The log's lines of binds with a name and a password ("[LDAP,simple bind]"), but for the
// anonymous ones that the fixture's readiness checks make. The JSON copy of each audit line
// is left out (it tells anonymous binds differently).
inline QList<QByteArray> passwordBindsIn(const QByteArray& log)
{
    QList<QByteArray> binds;
    for (const QByteArray& line : log.split('\n')) {
        if (line.contains("simple bind") && !line.contains("[ANONYMOUS LOGON]") && !line.contains("{\"timestamp\""))
            binds.append(line);
    }
    return binds;
}

// Samba's JSON audit of the authorisations in `log`: the transport protection of each LDAP
// session of the test account ("TLS", "SEAL", "SIGN" or "NONE").
inline QStringList ldapProtectionsOfTheTester(const QByteArray& log)
{
    QStringList protections;
    for (const QByteArray& line : log.split('\n')) {
        const qsizetype start = line.indexOf("{\"timestamp\"");
        if (start < 0 || !line.contains("\"Authorization\""))
            continue;
        const QJsonObject authz = QJsonDocument::fromJson(line.mid(start)).object().value("Authorization").toObject();
        if (authz.value("serviceDescription").toString() == u"LDAP"
            && authz.value("account").toString() == u"mivora-tester")
            protections.append(authz.value("transportProtection").toString());
    }
    return protections;
}

// Empty when the DC is up; else why the tier is skipped. The word "AD tier skipped" in a
// skip message makes ctest count the test as skipped.
inline QString skipReason()
{
    // The whole tier's reason, then this start's (a level this Samba does not know).
    for (const QString& path : { QStringLiteral(MIVORA_AD_DC_DIRECTORY "/skipped"), runDirectory + "/skipped" }) {
        QFile skipped(path);
        if (skipped.open(QIODevice::ReadOnly))
            return QStringLiteral("AD tier skipped: ") + QString::fromUtf8(skipped.readAll()).trimmed();
    }
    if (!QFile::exists(runDirectory + QStringLiteral("/ldap.conf")))
        return QStringLiteral("AD tier skipped: no Samba DC was started (run the ad-dc fixture: ctest -L ad-dc)");
    return {};
}

#define AD_DC_SKIP_UNLESS_RUNNING()                                                                                    \
    do {                                                                                                               \
        const QString reason = AdDc::skipReason();                                                                     \
        if (!reason.isEmpty())                                                                                         \
            QSKIP(qPrintable(reason));                                                                                 \
    } while (false)

// One ldapsearch as the test account (the same ldap.conf and ticket as the program): the
// values of `attribute` of each entry found, entry by entry, DNs first, in the server's order.
// Base64 values are decoded; the result holds "dn" and `attribute` lines as "name: value".
inline QStringList ldapsearch(const QString& dn, const QString& scope, const QString& filter, const QString& attribute)
{
    QProcess process;
    process.start(QStringLiteral("ldapsearch"),
        { QStringLiteral("-Q"), QStringLiteral("-LLL"), QStringLiteral("-o"), QStringLiteral("ldif-wrap=no"),
            QStringLiteral("-E"), QStringLiteral("pr=1000/noprompt"), QStringLiteral("-s"), scope, QStringLiteral("-b"),
            dn, filter, attribute });
    QStringList lines;
    if (!process.waitForFinished(60000) || process.exitCode() != 0) {
        qWarning("ldapsearch failed: %s", process.readAllStandardError().constData());
        return lines;
    }
    for (const QString& line : QString::fromUtf8(process.readAllStandardOutput()).split(u'\n')) {
        const qsizetype colon = line.indexOf(u':');
        if (colon <= 0 || line.startsWith(u'#'))
            continue;
        const QString name = line.left(colon);
        if (line.mid(colon + 1).startsWith(u':'))
            lines.append(name + QStringLiteral(": ")
                + QString::fromUtf8(QByteArray::fromBase64(line.mid(colon + 2).trimmed().toLatin1())));
        else
            lines.append(name + QStringLiteral(": ") + line.mid(colon + 1).trimmed());
    }
    return lines;
}

// The values of `prefix` lines ("dn", "member", ...) of ldapsearch's output.
inline QStringList valuesOf(const QStringList& lines, const QString& prefix)
{
    QStringList values;
    const QString start = prefix + QStringLiteral(": ");
    for (const QString& line : lines) {
        if (line.startsWith(start))
            values.append(line.mid(start.size()));
    }
    return values;
}

} // namespace AdDc
