#pragma once

// Small file helpers shared by the platform and shell tests.

#include "platform/Cp932.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <sys/types.h>

namespace testfiles {

inline QByteArray sjis(const QString& text)
{
    return platform::toAnsi(text);
}

inline bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

inline QByteArray readBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline QStringList entries(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// Makes a file or directory unwritable for as long as the guard lives. Mode bits do not stop
// root, so when they are not enough the immutable attribute is set too. ok() is false when
// neither works (then the test cannot make its point and skips).
class Unwritable {
public:
    explicit Unwritable(const QString& path);
    ~Unwritable();
    Q_DISABLE_COPY_MOVE(Unwritable)

    bool ok() const { return !writable(); }

private:
    bool isDir() const;
    bool writable() const;
    bool setImmutable(bool on) const;

    QByteArray path;
    bool immutable = false;
};

// A mount namespace of the calling process's own, entered once per process (root only): what it
// mounts then goes with it, also when a test is killed, and never shows in the machine's. Only
// the calling thread moves; the tests that mount do their file work on the main thread.
bool privateMounts();

// A tmpfs of the given size on a folder of its own for as long as the guard lives: a disk that
// really fills up. Mounting needs root (CI runs as root); ok() is false otherwise and reason()
// says why, for the skip message.
class SmallTmpfs {
public:
    explicit SmallTmpfs(qint64 bytes);
    ~SmallTmpfs();
    Q_DISABLE_COPY_MOVE(SmallTmpfs)

    bool ok() const { return mounted; }
    QString reason() const { return why; }
    QString path() const { return folder.path(); }
    QString filePath(const QString& name) const { return folder.filePath(name); }

private:
    QTemporaryDir folder;
    bool mounted = false;
    QString why;
};

// Size of the largest regular file that process pid holds open in folder, other than `named`:
// what a stopped writer has written so far. Its new file may have no name (O_TMPFILE), so it
// is looked up through /proc. -1 when there is none.
qint64 sizeOfFileOpenIn(pid_t pid, const QString& folder, const QString& named);

// A file owned by owner and writable by everyone, in a folder that, like /tmp, everyone may
// write and that is sticky: others may write the file but not remove or replace it. Needs
// root; an empty path when it could not be set up.
QString othersFileInStickyFolder(const QString& parent, uid_t owner, const QByteArray& contents);

// Runs action in a child process, as user and group `id` when id is not 0 (only root may), and
// returns the child's exit code: action's result, 125 when the user could not be taken on, -1
// when the child did not end by itself. The child must not use QTest's checks.
int inChildProcess(uid_t id, const std::function<int()>& action);

} // namespace testfiles
