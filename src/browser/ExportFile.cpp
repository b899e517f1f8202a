#include "browser/ExportFile.h"

#include "browser/ProgramError.h"
#include "platform/Cp932.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace browser {

ExportFile::ExportFile(const QString& path)
    : path_(QFile::encodeName(path))
{
    do {
        fd_ = ::open(path_.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    } while (fd_ < 0 && errno == EINTR);
    if (fd_ < 0) {
        error_ = errno;
        throw fileError(error_);
    }
    QIODevice::open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

ExportFile::~ExportFile()
{
    close();
}

void ExportFile::close()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    QIODevice::close();
}

void ExportFile::commit()
{
    if (fd_ < 0)
        return;
    // Write-back errors (a medium gone, a network share) show only here. Devices such as
    // /dev/null cannot be synced and say so with EINVAL or EROFS: nothing is lost there.
    if (::fsync(fd_) != 0 && errno != EINVAL && errno != EROFS) {
        error_ = errno;
        close();
        throw fileError(error_);
    }
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
    // After EINTR the descriptor is gone on Linux and the data was handed over.
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
    } catch (...) { }
    file_.close();
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
