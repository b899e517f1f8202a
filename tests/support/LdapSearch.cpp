#include "LdapSearch.h"

#include <QProcess>

QStringList ldapsearch(const QString& dn, const QString& scope, const QString& filter, const QString& attribute)
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

QStringList valuesOf(const QStringList& lines, const QString& prefix)
{
    QStringList values;
    const QString start = prefix + QStringLiteral(": ");
    for (const QString& line : lines) {
        if (line.startsWith(start))
            values.append(line.mid(start.size()));
    }
    return values;
}
