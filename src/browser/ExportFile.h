#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>

namespace browser {

// The export file, written in place: the user chose to replace that file, and the lines written
// before a failure are to stay. Each failure keeps its errno for the message.
class ExportFile : public QIODevice {
public:
    // Creates the file or empties it; throws ProgramError when it cannot.
    explicit ExportFile(const QString& path);
    ~ExportFile() override;

    // Syncs, checks that the name still leads to the file written (a folder removed or renamed
    // meanwhile leaves the data nowhere the user looks) and closes. Throws ProgramError.
    void commit();
    // Closes without a word: for when a failure is already being reported.
    void close() override;

    // errno of the last failed call, 0 if none failed.
    int lastError() const { return error_; }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 size) override;

private:
    QByteArray path_;
    int fd_ = -1;
    int error_ = 0;
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

    static constexpr qsizetype bufferSize = 64 * 1024;

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
    // Writes out what it still can and closes, without a word: a failure is being reported.
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
