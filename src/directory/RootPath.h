#pragma once

#include <QString>

namespace directory {

// The ADsPath of a domain's root from its DNS name: "LDAP://" and one "DC=" component per label.
// Labels are taken as typed: empty ones are kept, nothing is trimmed or checked.
QString rootPath(const QString& domain);

} // namespace directory
