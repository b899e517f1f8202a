#include "ServerListing.h"

#include "LdapSearch.h"
#include "TestDirectory.h"

namespace browsertests {

QList<ServerEntry> serverChildren(const QString& dn)
{
    const QString classLine = QStringLiteral("structuralObjectClass: ");
    QList<ServerEntry> entries;
    for (const QString& line : ldapsearch(dn, QStringLiteral("one"),
             QStringLiteral("(|(objectClass=container)(objectClass=organizationalUnit)(objectClass=group)"
                            "(objectClass=computer)(objectClass=user))"),
             QStringLiteral("structuralObjectClass"))) {
        if (line.startsWith(QLatin1String("dn: ")))
            entries.append({ line.mid(4), {} });
        else if (line.startsWith(classLine) && !entries.isEmpty())
            entries.last().className = line.mid(classLine.size());
    }
    return entries;
}

QList<Row> rowsFor(const QList<ServerEntry>& entries)
{
    QList<Row> rows;
    int number = 1;
    for (const ServerEntry& entry : entries)
        rows.append({ QString::number(number++), entry.className, TestDirectory::firstRdn(entry.dn),
            TestDirectory::adsPath(entry.dn) });
    return rows;
}

} // namespace browsertests
