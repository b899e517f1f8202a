#pragma once

#include <QString>

namespace directory {

// What a failed GSSAPI bind's diagnostic says about the user's Kerberos ticket (none, expired,
// no KDC, no SPN for the server, a clock off the DC's), in Japanese with what to do; empty when
// it is none of these.
QString kerberosProblemText(const QString& diagnostic);

} // namespace directory
