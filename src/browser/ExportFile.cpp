#include "browser/ExportFile.h"

#include "browser/ProgramError.h"
#include "platform/AtomicFile.h"
#include "platform/Cp932.h"

#include <cerrno>

namespace browser {

namespace {

ProgramError exportError(int error)
{
    // The folder was removed or renamed, or the file removed, while the lines were written.
    if (error == ENOENT)
        return { errnum::PathNotFound,
            QStringLiteral("パスが見つかりません。書き込み中にファイルまたはフォルダーが移動または削除されました。") };
    return fileError(error);
}

} // namespace

std::unique_ptr<platform::AtomicFile> openExportFile(const QString& path)
{
    auto file = std::make_unique<platform::AtomicFile>(
        path, platform::AtomicFile::Options { .inPlaceWhenNeeded = true, .regularFilesOnly = true });
    if (!file->open(QIODevice::WriteOnly))
        throw fileError(file->error());
    return file;
}

ExportWriter::ExportWriter(platform::AtomicFile& file)
    : file_(file)
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
    if (file_.write(buffer_) != buffer_.size())
        fail();
    buffer_.clear();
}

void ExportWriter::finish()
{
    flush();
    if (!file_.commit()) {
        failed_ = true;
        throw exportError(file_.error());
    }
}

void ExportWriter::keepWhatWasWritten() noexcept
{
    try {
        finish();
    } catch (...) {
        file_.close();
    }
}

void ExportWriter::fail()
{
    failed_ = true;
    // A write refused without an errno (the file already closed) is an I/O error all the same.
    throw fileError(file_.error() != 0 ? file_.error() : EIO);
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
