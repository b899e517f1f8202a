#include "TestFiles.h"

#include <QFileInfo>
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

Unwritable::Unwritable(const QString& path)
    : path(QFile::encodeName(path))
{
    ::chmod(this->path.constData(), isDir() ? 0555 : 0444);
    if (!writable())
        return;
    immutable = setImmutable(true);
}

Unwritable::~Unwritable()
{
    if (immutable)
        setImmutable(false);
    ::chmod(path.constData(), isDir() ? 0755 : 0644);
}

bool Unwritable::isDir() const
{
    return QFileInfo(QFile::decodeName(path)).isDir();
}

bool Unwritable::writable() const
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

bool Unwritable::setImmutable(bool on) const
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

bool privateMounts()
{
    static pid_t entered = 0; // a forked child enters one of its own
    if (entered == ::getpid())
        return true;
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return false;
    entered = ::getpid();
    return true;
}

SmallTmpfs::SmallTmpfs(qint64 bytes)
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

SmallTmpfs::~SmallTmpfs()
{
    if (mounted)
        ::umount2(QFile::encodeName(folder.path()).constData(), MNT_DETACH);
}

qint64 sizeOfFileOpenIn(pid_t pid, const QString& folder, const QString& named)
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

QString othersFileInStickyFolder(const QString& parent, uid_t owner, const QByteArray& contents)
{
    const QString folder = parent + QStringLiteral("/shared");
    const QString file = folder + QStringLiteral("/list.csv");
    const bool made = ::chmod(QFile::encodeName(parent).constData(), 0755) == 0 && QDir().mkpath(folder)
        && ::chmod(QFile::encodeName(folder).constData(), 01777) == 0 && writeBytes(file, contents)
        && ::chown(QFile::encodeName(file).constData(), owner, owner) == 0
        && ::chmod(QFile::encodeName(file).constData(), 0666) == 0;
    return made ? file : QString();
}

int inChildProcess(uid_t id, const std::function<int()>& action)
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
