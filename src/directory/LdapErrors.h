#pragma once

#include "directory/DirectoryError.h"

namespace directory {

// The one place where an LDAP result code (and the server's diagnostic text) becomes the
// program's error: the HRESULT the original platform reports and a Japanese description.
DirectoryError errorFromLdap(int resultCode, const QString& diagnostic = {});

// A TLS session that could not be set up (certificate not trusted, name mismatch, ...).
DirectoryError tlsHandshakeError();

// Active Directory puts a sub-code into the diagnostic of a failed bind ("data 52e"): its
// Japanese meaning, or an empty text when there is none.
QString adBindSubcodeText(const QString& diagnostic);

} // namespace directory
