#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <sys/stat.h>

namespace platform {

// Replaces the file at path with contents in one step: the bytes go to a temporary file beside
// it, are flushed to disk, and the temporary file is renamed over the old one. A crash or a
// full disk leaves either the old file or the new one, never a part. An existing file keeps its
// permission bits; a new file is readable and writable by its owner only (0600). A symbolic
// link is followed, so the file it points to is replaced. False when anything fails; the old
// file is then untouched.
bool writeFileAtomically(const QString& path, QByteArrayView contents);

// The steps of such a replacement that a writer streaming its own temporary file shares:
// give the new file (fd) the permission bits and, where allowed, the owner of the one it
// replaces; and make the rename in dir durable. False when the bits cannot be set.
bool takeOverModeAndOwner(int fd, const struct stat& replaced);
void syncDirectory(const QByteArray& dir);

namespace testing {
// Makes each later write fail with ENOSPC once this many bytes of the temporary file are
// written, as a full disk would; a negative count switches the failure off.
void failWritesAfter(qint64 bytes);
// Calls stop when that count is reached, before the write fails: a test stops or kills the
// process there, as a crash half way through a save would. Null switches it off.
void whenWritesStop(void (*stop)());
} // namespace testing

} // namespace platform
