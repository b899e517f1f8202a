#pragma once

#include "directory/DirectoryError.h"

namespace directory {

// The one place where an LDAP result code (and the server's diagnostic text) becomes the
// program's error: the HRESULT the original platform reports and a Japanese description, which
// for a failed bind carries the advice of KerberosAdvice.h, HardenedDcAdvice.h and AdBindSubcodes.h.
DirectoryError errorFromLdap(int resultCode, const QString& diagnostic = {});

// A server that breaks the protocol on purpose or by fault: a protocol error with what it did.
DirectoryError protocolError(const QString& what);

// A server that sent more than Mivora takes (a page over the size asked for, an answer over its
// budget): a protocol error that says what it sent too much of, in tooMuchText's words.
DirectoryError tooMuchError(const QString& what);
QString tooMuchText(const QString& what);
// "%1 MB" of a budget in bytes, for the errors that name it.
QString megabytes(qint64 bytes);

// A TLS session that could not be set up (certificate not trusted, name mismatch, ...).
DirectoryError tlsHandshakeError();

// No server of `uris` (a space-separated URI list) could be reached: the error of `resultCode`,
// naming the servers tried.
DirectoryError unreachableServersError(int resultCode, const QString& uris);

// A failed bind's error; when it is a Kerberos problem, the servers of `uris` are named too.
DirectoryError bindError(int resultCode, const QString& diagnostic, const QString& uris);

} // namespace directory
