#include "AdDc.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

namespace AdDc {

QStringList bulkUserPaths()
{
    QStringList paths;
    for (int k = 1; k <= bulkUsers; ++k)
        paths.append(adsPath(QStringLiteral("CN=社員%1,").arg(k, 4, 10, QLatin1Char('0')) + bulkOu));
    return paths;
}

const QString runDirectory = qEnvironmentVariable("MIVORA_AD_DC_RUN", QStringLiteral(MIVORA_AD_DC_DIRECTORY "/run"));

QByteArray dcLog(const QString& run)
{
    QFile log(run + QStringLiteral("/log/samba.out"));
    return log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
}

QList<QByteArray> passwordBindsIn(const QByteArray& log)
{
    QList<QByteArray> binds;
    for (const QByteArray& line : log.split('\n')) {
        if (line.contains("simple bind") && !line.contains("[ANONYMOUS LOGON]") && !line.contains("{\"timestamp\""))
            binds.append(line);
    }
    return binds;
}

QStringList ldapProtectionsOfTheTester(const QByteArray& log)
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

QString skipReason()
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

} // namespace AdDc
