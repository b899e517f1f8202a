#include "platform/AtomicFile.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

qint64 failAfter = -1;
void (*stopHook)() = nullptr;

bool writeAll(int fd, const char* data, qint64 size)
{
    qint64 written = 0;
    while (written < size) {
        qint64 chunk = size - written;
        if (failAfter >= 0) {
            if (written >= failAfter) {
                if (stopHook)
                    stopHook();
                errno = ENOSPC;
                return false;
            }
            chunk = std::min(chunk, failAfter - written);
        }
        const ssize_t n = ::write(fd, data + written, size_t(chunk));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        written += n;
    }
    return true;
}

} // namespace

// A failure here no longer endangers the file's contents.
void syncDirectory(const QByteArray& dir)
{
    const int fd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

bool takeOverModeAndOwner(int fd, const struct stat& replaced)
{
    // fchmod is not narrowed by the umask: the replaced file's mode comes back whole.
    if (::fchmod(fd, replaced.st_mode & 07777) != 0)
        return false;
    if (replaced.st_uid != ::geteuid() || replaced.st_gid != ::getegid()) {
        // Only root may hand the file back to another owner; otherwise the writer owns it.
        [[maybe_unused]] const int ignored = ::fchown(fd, replaced.st_uid, replaced.st_gid);
    }
    return true;
}

bool writeFileAtomically(const QString& path, QByteArrayView contents)
{
    QFileInfo info(path);
    if (info.isSymLink()) {
        const QString target = info.canonicalFilePath();
        if (!target.isEmpty())
            info = QFileInfo(target);
    }
    const QByteArray target = QFile::encodeName(info.absoluteFilePath());
    const QByteArray dir = QFile::encodeName(info.absolutePath());

    struct stat old { };
    const bool exists = ::stat(target.constData(), &old) == 0;
    // A read-only settings file refuses the write, as it would on the original platform.
    if (exists && (!S_ISREG(old.st_mode) || ::access(target.constData(), W_OK) != 0))
        return false;

    QByteArray temp = dir + "/." + QFile::encodeName(info.fileName()) + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = writeAll(fd, contents.data(), contents.size());
    // A new file keeps mkostemp's 0600 whatever the umask says.
    ok = ok && (exists ? takeOverModeAndOwner(fd, old) : ::fchmod(fd, S_IRUSR | S_IWUSR) == 0);
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(temp.constData(), target.constData()) == 0;
    if (!ok) {
        ::unlink(temp.constData());
        return false;
    }
    syncDirectory(dir);
    return true;
}

namespace testing {
void failWritesAfter(qint64 bytes)
{
    failAfter = bytes;
}

void whenWritesStop(void (*stop)())
{
    stopHook = stop;
}
} // namespace testing

} // namespace platform
