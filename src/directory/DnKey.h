#pragma once

#include <QString>

namespace directory::dn {

// A form of a DN for telling whether two texts name the same entry, as a directory compares
// names: attribute types in lower case, values unescaped and case-folded, the parts of a
// multi-valued RDN in sorted order. Empty when the text is no LDAPv3 DN. Two different entries
// may still share a key (a naming attribute compared case-sensitively, which Active Directory
// has none of): a key shared by two entries must count as no match.
QString comparisonKey(const QString& dn);

// The trailing DC= RDNs of a DN ("DC=example,DC=test" of "CN=a,CN=Users,DC=example,DC=test"):
// the naming context of an Active Directory domain. Empty when the DN does not end in one.
QString domainPart(const QString& dn);

} // namespace directory::dn
