#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <sys/stat.h>

namespace browser {

// The export file. The lines go to a new file beside the chosen one, which replaces it in one
// step when the export is written out: a crash, a killed process or a full disk leaves the
// previous file whole, never a part of the new one. Devices and other files that are not plain
// files (/dev/null, a pipe) are written in place. Each failure keeps its errno for the message.
class ExportFile : public QIODevice {
public:
    // Creates the file beside the chosen one; throws ProgramError when the chosen one could not
    // be written (missing folder, no permission, a folder's name).
    explicit ExportFile(const QString& path);
    ~ExportFile() override;

    // Syncs, puts the file in the chosen one's place (keeping an existing file's permissions)
    // and closes. A folder removed or renamed meanwhile, which would leave the data nowhere the
    // user looks, is a failure. Throws ProgramError; the previous file then stays.
    void commit();
    // Closes without a word and drops what was written: the previous file stays.
    void close() override;

    // errno of the last failed call, 0 if none failed.
    int lastError() const { return error_; }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 size) override;

private:
    [[noreturn]] void fail(int error);
    bool openBeside();
    void commitInPlace();
    void commitReplacement();

    QByteArray path_; // the file the user chose (its link target, for a symbolic link)
    QByteArray temp_; // the new file beside it; empty when written in place
    int fd_ = -1;
    int error_ = 0;
    bool keepMode_ = false;
    struct stat previous_ { };
};

// Lines in CP932 (a character CP932 cannot hold becomes '?'), each ending in CR LF, collected in
// a buffer and written to the device in large pieces. Every failure of the device throws
// ProgramError; flush() writes out what is left and must be called before the device is closed.
// After a failure nothing more is written: how much of the failed piece reached the device is
// unknown, so writing it again could put part of it there twice.
class ExportWriter {
public:
    explicit ExportWriter(QIODevice& device);

    void writeLine(QStringView text);
    void flush();

    static constexpr qsizetype bufferSize = qsizetype(64) * 1024;

private:
    [[noreturn]] void fail() const;

    QIODevice& device_;
    QByteArray buffer_;
    mutable bool failed_ = false;
};

// The export of one listing: the file and its writer.
class ExportOutput {
public:
    explicit ExportOutput(const QString& path);

    void writeLine(QStringView text) { writer_.writeLine(text); }
    // Writes out the rest and closes; throws ProgramError.
    void finish();
    // After another failure (a directory call): writes out and puts in place what was written,
    // without a word. When the file itself fails meanwhile the previous file stays.
    void abandon() noexcept;

private:
    ExportFile file_;
    ExportWriter writer_;
};

// "｢" node text "｣以下に存在するオブジェクト"
QString headingLine(const QString& nodeText);
// No TAB Class TAB Name TAB ADsPath TAB
QString dataLine(int number, const QString& className, const QString& name, const QString& adsPath);

} // namespace browser
