#pragma once

// Small file helpers shared by the platform and shell tests.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <sys/types.h>

namespace testfiles {

QByteArray sjis(const QString& text);
bool writeBytes(const QString& path, const QByteArray& bytes);
QByteArray readBytes(const QString& path);
QStringList entries(const QString& dir);

// Makes a file or directory unwritable for as long as the guard lives. Mode bits do not stop
// root, so when they are not enough the immutable attribute is set too. ok() is false when
// neither works (then the test cannot make its point and skips).
class Unwritable {
public:
    explicit Unwritable(const QString& path);
    ~Unwritable();
    Unwritable(const Unwritable&) = delete;
    Unwritable& operator=(const Unwritable&) = delete;

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
    SmallTmpfs(const SmallTmpfs&) = delete;
    SmallTmpfs& operator=(const SmallTmpfs&) = delete;

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
