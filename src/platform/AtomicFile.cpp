#include "platform/AtomicFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace platform {

namespace {

// Qt reports file errors as text only; the errno of the failed call is still set when it
// returns. A failure that left none behind is taken for an I/O error.
int lastErrno()
{
    return errno != 0 ? errno : EIO;
}

// access() checks the real ids; the program is not set-id, so they are the effective ones.
bool writable(const QByteArray& path)
{
    return ::access(path.constData(), W_OK) == 0;
}

// The kernel's rule for links (fs.protected_symlinks), which it cannot apply to the links
// resolved here: in a sticky folder everyone may write, such as /tmp, a link is followed only
// when it is the follower's own or the folder owner's, so that no one can plant a link there
// that turns another user's write onto a file of that user's.
bool mayFollow(const QString& link)
{
    struct stat linkInfo { };
    struct stat folder { };
    if (::lstat(QFile::encodeName(link).constData(), &linkInfo) != 0
        || ::stat(QFile::encodeName(QFileInfo(link).absolutePath()).constData(), &folder) != 0)
        return false;
    const bool shared = (folder.st_mode & (S_ISVTX | S_IWOTH)) == (S_ISVTX | S_IWOTH);
    return !shared || linkInfo.st_uid == ::geteuid() || linkInfo.st_uid == folder.st_uid;
}

// The file that path names, links followed; EACCES for a link that may not be followed.
int followLinks(const QString& path, QByteArray& target)
{
    QFileInfo info(path);
    // A dangling link names the file to create. A loop stays a link, and opening it says ELOOP.
    for (int depth = 0; depth < 40 && info.isSymLink(); ++depth) {
        if (!mayFollow(info.absoluteFilePath()))
            return EACCES;
        info.setFile(info.symLinkTarget());
    }
    target = QFile::encodeName(info.absoluteFilePath());
    return 0;
}

// Opens the file that was found at path as old for writing in place. Without blocking, and
// then checked on the descriptor: a FIFO put in its place meanwhile would hold the writer until
// someone reads. Without O_CREAT: the kernel may refuse O_CREAT on another user's file in a
// sticky folder (fs.protected_regular) even though the file itself is writable. Without
// following a link: path is one already resolved.
int openInPlace(const QByteArray& path, const struct stat& old)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return -1;
    struct stat opened { };
    int error = ::fstat(fd, &opened) != 0 ? errno : 0;
    if (error == 0 && (opened.st_dev != old.st_dev || opened.st_ino != old.st_ino))
        error = ENOENT;
    if (error == 0 && (::fcntl(fd, F_SETFL, 0) != 0 || (S_ISREG(opened.st_mode) && ::ftruncate(fd, 0) != 0)))
        error = errno;
    if (error == 0)
        return fd;
    ::close(fd);
    errno = error;
    return -1;
}

bool isMountPoint(const QByteArray& path)
{
    struct statx info { };
    return ::statx(AT_FDCWD, path.constData(), 0, STATX_BASIC_STATS, &info) == 0
        && (info.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0
        && (info.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
}

// Whether a rename may put a new file in the place of this one.
bool replaceable(const QByteArray& path, const QByteArray& folder, const struct stat& file)
{
    struct stat dir { };
    if (!S_ISREG(file.st_mode) || ::stat(folder.constData(), &dir) != 0 || !writable(folder))
        return false;
    // In a sticky folder only the file's owner, the folder's owner or root may replace a file.
    const uid_t me = ::geteuid();
    if ((dir.st_mode & S_ISVTX) != 0 && me != 0 && file.st_uid != me && dir.st_uid != me)
        return false;
    // A bind-mounted file is busy for rename().
    return !isMountPoint(path);
}

bool keepOwnerAndMode(int fd, const struct stat& old)
{
    if ((old.st_uid != ::geteuid() || old.st_gid != ::getegid()) && ::fchown(fd, old.st_uid, old.st_gid) != 0) {
        // Only root may give the file away; its group, though, is ours to set when we are in it.
        [[maybe_unused]] const int ignored = ::fchown(fd, uid_t(-1), old.st_gid);
    }
    // After fchown, which clears set-id bits; fchmod is not narrowed by the umask.
    return ::fchmod(fd, old.st_mode & 07777) == 0;
}

// A failure here no longer endangers the file's contents.
void syncFolder(const QByteArray& file)
{
    const QByteArray folder = QFile::encodeName(QFileInfo(QFile::decodeName(file)).absolutePath());
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace

AtomicFile::AtomicFile(QString path, Options options)
    : path_(std::move(path))
    , options_(options)
{ }

AtomicFile::~AtomicFile()
{
    discard();
}

bool AtomicFile::fail(int error)
{
    if (error_ == 0) {
        error_ = error;
        setErrorString(qt_error_string(error));
    }
    return false;
}

bool AtomicFile::open(OpenMode mode)
{
    if (isOpen() || (mode & (ReadOnly | Append)) != 0 || (mode & WriteOnly) == 0)
        return fail(EINVAL);
    error_ = 0;
    if (const int refused = followLinks(path_, target_); refused != 0)
        return fail(refused);
    const QString target = QFile::decodeName(target_);
    const QByteArray folder = QFile::encodeName(QFileInfo(target).absolutePath());

    struct stat old { };
    const bool exists = ::stat(target_.constData(), &old) == 0;
    if (!exists && errno != ENOENT)
        return fail(errno);
    if (exists && S_ISDIR(old.st_mode))
        return fail(EISDIR);
    // Refused like opening it for writing would be (root is stopped only by i-flags and read-only mounts).
    if (!writable(exists ? target_ : folder))
        return fail(errno);
    inPlace_ = exists && !replaceable(target_, folder, old);
    if (inPlace_ && (!options_.inPlaceWhenNeeded || (options_.regularFilesOnly && !S_ISREG(old.st_mode))))
        return fail(S_ISREG(old.st_mode) ? EACCES : EINVAL);

    errno = 0;
    if (inPlace_) {
        const int fd = openInPlace(target_, old);
        if (fd < 0)
            return fail(lastErrno());
        auto file = std::make_unique<QFile>(target);
        if (!file->open(fd, WriteOnly | Unbuffered, QFileDevice::AutoCloseHandle)) {
            ::close(fd);
            return fail(lastErrno());
        }
        file_ = std::move(file);
    } else {
        auto file = std::make_unique<QSaveFile>(target);
        file->setDirectWriteFallback(false);
        if (!file->open(WriteOnly | Unbuffered))
            return fail(lastErrno());
        const int fd = file->handle();
        const bool ok = exists ? keepOwnerAndMode(fd, old) : !options_.ownerOnly || ::fchmod(fd, 0600) == 0;
        file_ = std::move(file);
        if (!ok) {
            fail(errno);
            discard();
            return false;
        }
    }
    return QIODevice::open(WriteOnly | Unbuffered);
}

qint64 AtomicFile::readData(char*, qint64)
{
    return -1;
}

qint64 AtomicFile::writeData(const char* data, qint64 size)
{
    if (error_ != 0 || !file_)
        return -1;
    errno = 0;
    const qint64 written = file_->write(data, size);
    // A short write leaves the rest unwritten for a reason the next call would only repeat.
    if (written != size) {
        fail(lastErrno());
        return -1;
    }
    return written;
}

bool AtomicFile::commit()
{
    if (!file_)
        return fail(EBADF);
    if (error_ != 0) {
        discard();
        return false;
    }
    const int fd = file_->handle();
    // Write-back errors (a medium gone, a full thin volume, a network share) show only here.
    // Devices such as /dev/null cannot be synced and say so with EINVAL or EROFS; nothing is lost.
    if (::fsync(fd) != 0 && !(inPlace_ && (errno == EINVAL || errno == EROFS))) {
        fail(errno);
        discard();
        return false;
    }
    if (inPlace_) {
        // Lines written into a file that was removed or replaced meanwhile are nowhere to be found.
        struct stat written { };
        struct stat named { };
        if (::fstat(fd, &written) != 0 || ::stat(target_.constData(), &named) != 0 || written.st_dev != named.st_dev
            || written.st_ino != named.st_ino)
            fail(ENOENT);
        errno = 0;
        file_->close();
        if (file_->error() != QFileDevice::NoError)
            fail(lastErrno());
    } else {
        // On failure QSaveFile removes its file; errno is still the rename's (ENOENT when the
        // folder was removed or renamed meanwhile).
        errno = 0;
        if (!static_cast<QSaveFile&>(*file_).commit())
            fail(lastErrno());
        else
            syncFolder(target_);
    }
    file_.reset();
    QIODevice::close();
    return error_ == 0;
}

void AtomicFile::close()
{
    discard();
}

void AtomicFile::discard()
{
    if (auto* save = qobject_cast<QSaveFile*>(file_.get()))
        save->cancelWriting();
    // QSaveFile removes its temporary file when it goes without a commit.
    file_.reset();
    QIODevice::close();
}

void removeLeftoverSaves(const QString& path, const QDateTime& since)
{
    const QFileInfo file(path);
    const QString prefix = file.fileName() + u'.';
    QDir folder = file.absoluteDir();
    for (const QString& name : folder.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        const QStringView rest = QStringView(name).sliced(std::min(name.size(), prefix.size()));
        if (!name.startsWith(prefix) || rest.size() != 6
            || !std::ranges::all_of(rest, [](QChar c) { return c.isLetter() && c.unicode() < 0x80; }))
            continue;
        const QByteArray leftover = QFile::encodeName(folder.filePath(name));
        struct stat info { };
        if (::lstat(leftover.constData(), &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid()
            && info.st_nlink == 1 && QFileInfo(folder.filePath(name)).lastModified() >= since)
            ::unlink(leftover.constData());
    }
}

bool writeFileAtomically(const QString& path, QByteArrayView contents)
{
    AtomicFile file(path, { .ownerOnly = true, .inPlaceWhenNeeded = true, .regularFilesOnly = true });
    return file.open(QIODevice::WriteOnly) && file.write(contents.data(), contents.size()) == contents.size()
        && file.commit();
}

} // namespace platform
