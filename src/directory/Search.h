#pragma once

// Internal to src/directory: base reads over one bound session, one or many pipelined, and the
// escaping of a filter's values. A search in pages is PagedSearch's.

#include "directory/DirectoryError.h"
#include "directory/MessageLoop.h"

#include <vector>

namespace directory {

class Connection;

// Base-scope read of one entry; throws (noSuchObject, ...) when it cannot be read.
LdapEntry readEntry(Connection& connection, const QString& dn, const QStringList& attributes);

// Bytes of the answers that pipelined reads hold while an earlier read is still unanswered: far
// more than a window of reads of a name holds, room for four entries of the largest message.
constexpr qint64 maxHeldAnswerBytes = qint64(64) << 20;

// Pipelined base reads: sends up to `window` requests before waiting for the first answer.
// `onResult` gets, in the order of `dns`, the entry or the error of each read. The answers that
// come before their turn are held within maxHeldAnswerBytes, all of them together within
// PagedSearch::maxAnswerBytes; a server that sends more fails every read not delivered yet.
void readEntries(Connection& connection, const QStringList& dns, const QStringList& attributes, int window,
    const std::function<void(qsizetype index, const LdapEntry* entry, const DirectoryError* error)>& onResult);

// `value` for an LDAP filter: *, (, ), \\ and NUL escaped as \\XX.
QString escapeFilterValue(const QString& value);

} // namespace directory
