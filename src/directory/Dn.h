#pragma once

#include <QString>

// Distinguished names. firstRdn and rdnValue keep the server's spelling (no normalisation,
// escapes left as they are); isValid, comparisonKey and domainPart rest on libldap's one parse.
namespace directory::dn {

// The first RDN of a DN as written ("CN=Yamada\, Jiro" of "CN=Yamada\, Jiro,CN=Users,...").
QString firstRdn(const QString& dn);
// The unescaped value of an RDN ("Yamada, Jiro"); the first attribute of a multi-valued RDN.
QString rdnValue(const QString& rdn);
// Whether libldap accepts the text as an LDAPv3 DN.
bool isValid(const QString& dn);

// A form of a DN for telling whether two texts name the same entry, as a directory compares
// names: attribute types in lower case, values unescaped and case-folded, the parts of a
// multi-valued RDN in sorted order. Empty when the text is no LDAPv3 DN. Two different entries
// may still share a key (a naming attribute compared case-sensitively, which Active Directory
// has none of): a key shared by two entries must count as no match.
QString comparisonKey(const QString& dn);

// The trailing DC= RDNs of a DN ("DC=example,DC=test" of "CN=a,CN=Users,DC=example,DC=test"):
// the naming context of an Active Directory domain. Empty when the DN does not end in one.
QString domainPart(const QString& dn);

// The ADsPath of a domain's root from its DNS name: "LDAP://" and one "DC=" component per label.
// Labels are taken as typed: empty ones are kept, nothing is trimmed or checked.
QString rootPath(const QString& domain);

} // namespace directory::dn
