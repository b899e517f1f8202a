#pragma once

#include <QString>

namespace directory {

// What a DC's refusal of a bind says about its hardening (TLS channel bindings required over
// TLS, LDAP signing required on plain LDAP), in Japanese with what to check; empty otherwise.
QString hardenedDcText(int resultCode, const QString& diagnostic);

} // namespace directory
