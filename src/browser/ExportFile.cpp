#include "browser/ExportFile.h"

#include "browser/ProgramError.h"
#include "platform/AtomicFile.h"
#include "platform/Cp932.h"

#include <QFile>
#include <QRandomGenerator>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace browser {

namespace {

int openFile(const char* path, int flags, mode_t mode)
{
    int fd;
    do {
        fd = ::open(path, flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

QByteArray folderOf(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
}

} // namespace

ExportFile::ExportFile(const QString& path)
    : path_(QFile::encodeName(path))
{
    struct stat chosen { };
    if (::stat(path_.constData(), &chosen) == 0) {
        if (S_ISREG(chosen.st_mode)) {
            // A symbolic link keeps pointing where it did: the file it names is replaced.
            if (char* real = ::realpath(path_.constData(), nullptr)) {
                path_ = real;
                ::free(real);
            }
            // Refused like opening it for writing would be.
            if (::access(path_.constData(), W_OK) != 0)
                fail(errno);
            keepMode_ = true;
            previous_ = chosen;
            // A folder that takes no new file may still hold a writable one: that is written in place.
            if (!openBeside() && errno != EACCES && errno != EPERM)
                fail(errno);
        }
    } else if (errno == ENOENT && ::lstat(path_.constData(), &chosen) != 0) {
        // A new file (a dangling link is written in place, through the link).
        if (!openBeside())
            fail(errno);
    }
    if (fd_ < 0) {
        fd_ = openFile(path_.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        if (fd_ < 0)
            fail(errno);
    }
    QIODevice::open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

ExportFile::~ExportFile()
{
    close();
}

bool ExportFile::openBeside()
{
    const QByteArray folder = folderOf(path_);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray name = folder + "/.mivora-" + QByteArray::number(QRandomGenerator::global()->generate64(), 36);
        // 0666 and O_EXCL: the umask gives a new file its usual permissions.
        const int fd = openFile(name.constData(), O_WRONLY | O_CREAT | O_EXCL, 0666);
        if (fd >= 0) {
            fd_ = fd;
            temp_ = name;
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}

void ExportFile::fail(int error)
{
    error_ = error;
    close();
    throw fileError(error_);
}

void ExportFile::close()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temp_.isEmpty()) {
        ::unlink(temp_.constData());
        temp_.clear();
    }
    QIODevice::close();
}

void ExportFile::commit()
{
    if (fd_ < 0)
        return;
    if (temp_.isEmpty())
        commitInPlace();
    else
        commitReplacement();
}

void ExportFile::commitReplacement()
{
    if (keepMode_ && !platform::takeOverModeAndOwner(fd_, previous_))
        fail(errno);
    if (::fsync(fd_) != 0)
        fail(errno);
    const int rc = ::close(fd_);
    const int closeError = errno;
    fd_ = -1;
    // After EINTR the descriptor is gone on Linux and the data was handed over.
    if (rc != 0 && closeError != EINTR)
        fail(closeError);
    if (::rename(temp_.constData(), path_.constData()) != 0) {
        const int renameError = errno;
        if (renameError != ENOENT)
            fail(renameError);
        // The folder was removed or renamed while the lines were written.
        error_ = ENOENT;
        close();
        throw ProgramError(errnum::PathNotFound,
            QStringLiteral("パスが見つかりません。書き込み中にファイルまたはフォルダーが移動または削除されました。"));
    }
    temp_.clear();
    platform::syncDirectory(folderOf(path_));
    QIODevice::close();
}

void ExportFile::commitInPlace()
{
    // Write-back errors (a medium gone, a network share) show only here. Devices such as
    // /dev/null cannot be synced and say so with EINVAL or EROFS: nothing is lost there.
    if (::fsync(fd_) != 0 && errno != EINVAL && errno != EROFS)
        fail(errno);
    struct stat written { };
    struct stat named { };
    const bool stillThere = ::fstat(fd_, &written) == 0 && ::stat(path_.constData(), &named) == 0
        && written.st_dev == named.st_dev && written.st_ino == named.st_ino;
    if (!stillThere) {
        error_ = ENOENT;
        close();
        throw ProgramError(errnum::PathNotFound,
            QStringLiteral("パスが見つかりません。書き込み中にファイルまたはフォルダーが移動または削除されました。"));
    }
    const int rc = ::close(fd_);
    const int closeError = errno;
    fd_ = -1;
    QIODevice::close();
    if (rc != 0 && closeError != EINTR) {
        error_ = closeError;
        throw fileError(error_);
    }
}

qint64 ExportFile::readData(char*, qint64)
{
    return -1;
}

qint64 ExportFile::writeData(const char* data, qint64 size)
{
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd_, data + done, size_t(size - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error_ = errno;
            setErrorString(QString::fromLocal8Bit(std::strerror(error_)));
            return -1;
        }
        done += n;
    }
    return done;
}

ExportWriter::ExportWriter(QIODevice& device)
    : device_(device)
{
    buffer_.reserve(bufferSize + 1024);
}

void ExportWriter::writeLine(QStringView text)
{
    buffer_ += platform::toAnsi(text);
    buffer_ += "\r\n";
    if (buffer_.size() >= bufferSize)
        flush();
}

void ExportWriter::flush()
{
    if (failed_)
        fail();
    if (buffer_.isEmpty())
        return;
    const qint64 written = device_.write(buffer_);
    if (written != buffer_.size())
        fail();
    buffer_.clear();
}

void ExportWriter::fail() const
{
    failed_ = true;
    if (const auto* file = dynamic_cast<const ExportFile*>(&device_); file && file->lastError() != 0)
        throw fileError(file->lastError());
    throw ProgramError(errnum::DeviceIo, QStringLiteral("デバイス I/O エラーです。"));
}

ExportOutput::ExportOutput(const QString& path)
    : file_(path)
    , writer_(file_)
{ }

void ExportOutput::finish()
{
    writer_.flush();
    file_.commit();
}

void ExportOutput::abandon() noexcept
{
    try {
        writer_.flush();
        file_.commit();
    } catch (...) {
        file_.close();
    }
}

QString headingLine(const QString& nodeText)
{
    return u'\uFF62' + nodeText + QStringLiteral("\uFF63以下に存在するオブジェクト");
}

QString dataLine(int number, const QString& className, const QString& name, const QString& adsPath)
{
    const QChar tab = u'\t';
    return QString::number(number) + tab + className + tab + name + tab + adsPath + tab;
}

} // namespace browser
