#pragma once

// ldapsearch as this process would search (the same ldap.conf and SASL identity): what the
// directory itself holds, the oracle a reading of it is checked against.

#include <QString>
#include <QStringList>

// One paged search: the values of `attribute` of each entry found, entry by entry, DNs first, in
// the server's order. Base64 values are decoded; the result holds "dn" and `attribute` lines as
// "name: value". Empty, with a warning, when ldapsearch fails.
QStringList ldapsearch(const QString& dn, const QString& scope, const QString& filter, const QString& attribute);

// The values of `prefix` lines ("dn", "member", ...) of ldapsearch's output.
QStringList valuesOf(const QStringList& lines, const QString& prefix);
