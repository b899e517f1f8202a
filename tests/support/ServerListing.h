#pragma once

// What the test directory itself holds, asked with ldapsearch: the oracle a listing is checked
// against.

#include "ListRows.h"

#include <QList>
#include <QProcess>
#include <QString>

namespace browsertests {

struct ServerEntry {
    QString dn;
    QString className;
};

// The children of the five classes of `dn` as ldapsearch gets them from the test directory (the
// same LDAPCONF), with a paged search: the order and the content the server gives.
inline QList<ServerEntry> serverChildren(const QString& dn)
{
    QProcess ldapsearch;
    ldapsearch.start(QStringLiteral("ldapsearch"),
        { QStringLiteral("-Q"), QStringLiteral("-LLL"), QStringLiteral("-o"), QStringLiteral("ldif-wrap=no"),
            QStringLiteral("-E"), QStringLiteral("pr=1000/noprompt"), QStringLiteral("-s"), QStringLiteral("one"),
            QStringLiteral("-b"), dn,
            QStringLiteral("(|(objectClass=container)(objectClass=organizationalUnit)(objectClass=group)"
                           "(objectClass=computer)(objectClass=user))"),
            QStringLiteral("structuralObjectClass") });
    QList<ServerEntry> entries;
    if (!ldapsearch.waitForFinished(60000) || ldapsearch.exitCode() != 0) {
        qWarning("ldapsearch failed: %s", ldapsearch.readAllStandardError().constData());
        return entries;
    }
    const QStringList lines = QString::fromUtf8(ldapsearch.readAllStandardOutput()).split(u'\n');
    for (const QString& line : lines) {
        if (line.startsWith(QLatin1String("dn:: ")))
            entries.append({ QString::fromUtf8(QByteArray::fromBase64(line.mid(5).toLatin1())), {} });
        else if (line.startsWith(QLatin1String("dn: ")))
            entries.append({ line.mid(4), {} });
        else if (line.startsWith(QLatin1String("structuralObjectClass: ")) && !entries.isEmpty())
            entries.last().className = line.mid(23);
    }
    return entries;
}

inline QString firstRdnOf(const QString& dn)
{
    for (qsizetype i = 0; i < dn.size(); ++i) {
        if (dn.at(i) == u'\\')
            ++i;
        else if (dn.at(i) == u',')
            return dn.left(i);
    }
    return dn;
}

// The rows a listing of those entries shows.
inline QList<Row> rowsFor(const QList<ServerEntry>& entries)
{
    QList<Row> rows;
    int number = 1;
    for (const ServerEntry& entry : entries)
        rows.append(
            { QString::number(number++), entry.className, firstRdnOf(entry.dn), QStringLiteral("LDAP://") + entry.dn });
    return rows;
}

} // namespace browsertests
