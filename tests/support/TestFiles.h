#pragma once

// Small file helpers shared by the platform and shell tests.

#include "platform/Cp932.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <linux/fs.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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
    explicit Unwritable(const QString& path)
        : path(QFile::encodeName(path))
    {
        ::chmod(this->path.constData(), isDir() ? 0555 : 0444);
        if (!writable())
            return;
        immutable = setImmutable(true);
    }
    ~Unwritable()
    {
        if (immutable)
            setImmutable(false);
        ::chmod(path.constData(), isDir() ? 0755 : 0644);
    }
    Unwritable(const Unwritable&) = delete;
    Unwritable& operator=(const Unwritable&) = delete;

    bool ok() const { return !writable(); }

private:
    bool isDir() const { return QFileInfo(QFile::decodeName(path)).isDir(); }
    bool writable() const
    {
        if (!isDir())
            return ::access(path.constData(), W_OK) == 0;
        const QByteArray probe = path + "/.probe";
        const int fd = ::open(probe.constData(), O_CREAT | O_WRONLY, 0600);
        if (fd < 0)
            return false;
        ::close(fd);
        ::unlink(probe.constData());
        return true;
    }
    bool setImmutable(bool on) const
    {
        const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK);
        if (fd < 0)
            return false;
        int flags = 0;
        bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        ::close(fd);
        return done;
    }

    QByteArray path;
    bool immutable = false;
};

// A mount namespace of the calling process's own, entered once per process (root only): what it
// mounts then goes with it, also when a test is killed, and never shows in the machine's. Only
// the calling thread moves; the tests that mount do their file work on the main thread.
inline bool privateMounts()
{
    static pid_t entered = 0; // a forked child enters one of its own
    if (entered == ::getpid())
        return true;
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return false;
    entered = ::getpid();
    return true;
}

// A tmpfs of the given size on a folder of its own for as long as the guard lives: a disk that
// really fills up. Mounting needs root (CI runs as root); ok() is false otherwise and reason()
// says why, for the skip message.
class SmallTmpfs {
public:
    explicit SmallTmpfs(qint64 bytes)
    {
        if (!folder.isValid()) {
            why = QStringLiteral("no temporary folder for the tmpfs");
            return;
        }
        const QByteArray options = "size=" + QByteArray::number(bytes) + ",mode=0755";
        mounted = privateMounts()
            && ::mount("mivora-test", QFile::encodeName(folder.path()).constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                   options.constData())
                == 0;
        if (!mounted) {
            why = QStringLiteral("cannot mount a small tmpfs (%1): the full-disk case needs root, as in CI")
                      .arg(QString::fromLocal8Bit(std::strerror(errno)));
        }
    }
    ~SmallTmpfs()
    {
        if (mounted)
            ::umount2(QFile::encodeName(folder.path()).constData(), MNT_DETACH);
    }
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
inline qint64 sizeOfFileOpenIn(pid_t pid, const QString& folder, const QString& named)
{
    const QString fds = QStringLiteral("/proc/%1/fd/").arg(pid);
    qint64 largest = -1;
    for (const QString& fd : QDir(fds).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        const QString target = QFile::symLinkTarget(fds + fd);
        struct stat file { };
        if (target.startsWith(folder + u'/') && target != named
            && ::stat(QFile::encodeName(fds + fd).constData(), &file) == 0 && S_ISREG(file.st_mode))
            largest = std::max(largest, qint64(file.st_size));
    }
    return largest;
}

// A file owned by owner and writable by everyone, in a folder that, like /tmp, everyone may
// write and that is sticky: others may write the file but not remove or replace it. Needs
// root; an empty path when it could not be set up.
inline QString othersFileInStickyFolder(const QString& parent, uid_t owner, const QByteArray& contents)
{
    const QString folder = parent + QStringLiteral("/shared");
    const QString file = folder + QStringLiteral("/list.csv");
    const bool made = ::chmod(QFile::encodeName(parent).constData(), 0755) == 0 && QDir().mkpath(folder)
        && ::chmod(QFile::encodeName(folder).constData(), 01777) == 0 && writeBytes(file, contents)
        && ::chown(QFile::encodeName(file).constData(), owner, owner) == 0
        && ::chmod(QFile::encodeName(file).constData(), 0666) == 0;
    return made ? file : QString();
}

// Runs action in a child process, as user and group `id` when id is not 0 (only root may), and
// returns the child's exit code: action's result, 125 when the user could not be taken on, -1
// when the child did not end by itself. The child must not use QTest's checks.
template <typename Action> int inChildProcess(uid_t id, Action&& action)
{
    const pid_t child = ::fork();
    if (child < 0)
        return -1;
    if (child == 0) {
        if (id != 0 && (::setgroups(0, nullptr) != 0 || ::setgid(id) != 0 || ::setuid(id) != 0))
            ::_exit(125);
        ::_exit(action());
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

} // namespace testfiles
