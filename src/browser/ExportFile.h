#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <memory>

namespace platform {
class AtomicFile;
}

namespace browser {

// Opens the export file: a new file beside the chosen one that replaces it when the export is
// written out, so that a crash, a kill or a full disk leaves the previous file whole. A file
// that can be written but not replaced (another user's file in a sticky folder, a folder that
// takes no new file) is written in place. Throws ProgramError naming why the chosen file cannot
// be written (missing folder, no permission, a folder's name, anything but a regular file: a
// FIFO would hold the window until someone reads it, a device keeps nothing; another user's
// link in a sticky folder such as /tmp).
std::unique_ptr<platform::AtomicFile> openExportFile(const QString& path);

// Lines in CP932 (a character CP932 cannot hold becomes '?'), each ending in CR LF, collected in
// a buffer and written to the export file in large pieces. Every failure of the file throws
// ProgramError. After a failure nothing more is written: how much of the failed piece reached
// the file is unknown, so writing it again could put part of it there twice.
class ExportWriter {
public:
    explicit ExportWriter(platform::AtomicFile& file);

    void writeLine(QStringView text);
    void flush();
    // Writes out the rest and puts the file in place; throws ProgramError.
    void finish();
    // After another failure (a directory call): the lines written so far are still an export, so
    // they are written out and put in place, without a word. When the file itself fails
    // meanwhile the previous file stays.
    void keepWhatWasWritten() noexcept;

    static constexpr qsizetype bufferSize = qsizetype(64) * 1024;

private:
    [[noreturn]] void fail();

    platform::AtomicFile& file_;
    QByteArray buffer_;
    bool failed_ = false;
};

// "｢" node text "｣以下に存在するオブジェクト"
QString headingLine(const QString& nodeText);
// No TAB Class TAB Name TAB ADsPath TAB
QString dataLine(int number, const QString& className, const QString& name, const QString& adsPath);

} // namespace browser
