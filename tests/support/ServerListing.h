#pragma once

// What the test directory itself holds, asked with ldapsearch: the oracle a listing is checked
// against.

#include "ListRows.h"

#include <QList>
#include <QString>

namespace browsertests {

struct ServerEntry {
    QString dn;
    QString className;
};

// The children of the five classes of `dn` as ldapsearch gets them from the test directory (the
// same LDAPCONF), with a paged search: the order and the content the server gives.
QList<ServerEntry> serverChildren(const QString& dn);

// The rows a listing of those entries shows.
QList<Row> rowsFor(const QList<ServerEntry>& entries);

} // namespace browsertests
