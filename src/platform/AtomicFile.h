#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QIODevice>
#include <QString>
#include <memory>

class QDateTime;
class QFileDevice;

namespace platform {

// A file written as a whole. The bytes go to a temporary file beside the target (QSaveFile),
// which commit() syncs and renames over it: a crash, a kill or a full disk leaves either the
// old file or the new one, never a part. An existing file keeps its permission bits and, where
// we may (root, or our own file), its owner and group. A symbolic link is followed, so the file
// it points to is replaced; as the kernel's fs.protected_symlinks would, a link in a sticky
// folder everyone may write (/tmp) is followed only when it is ours or the folder owner's, and
// refused (EACCES) otherwise, the link and its target left as they are.
//
// Some files can be written but not replaced by a rename: another user's file in a sticky
// folder such as /tmp, a writable file in a folder that takes no new names, a file that is a
// mount point, a device. open() tells them apart before a byte is written, so that a caller
// never learns only at commit() that its work has nowhere to go: with inPlaceWhenNeeded they are
// truncated and written where they are, otherwise open() refuses them.
class AtomicFile : public QIODevice {
public:
    struct Options {
        bool ownerOnly = false; // a new file is 0600 whatever the umask says
        bool inPlaceWhenNeeded = false;
        // In place only a regular file: a FIFO would block the writer, a device keeps nothing.
        bool regularFilesOnly = false;
    };

    AtomicFile(QString path, Options options);
    ~AtomicFile() override;
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Write-only, unbuffered. False, with error() set, when the file cannot be written.
    bool open(OpenMode mode) override;
    // Syncs the data and puts the file in place; a file written in place must still be where it
    // was. False, with error() set, when anything failed; by rename the old file is then whole.
    bool commit();
    // Drops what was written. By rename the old file stays; in place it is already overwritten.
    void close() override;

    // errno of the first failure, 0 if none.
    int error() const { return error_; }
    bool writesInPlace() const { return inPlace_; }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 size) override;

private:
    bool fail(int error);
    void discard();

    QString path_;
    QByteArray target_; // the file that is written, links followed
    Options options_;
    std::unique_ptr<QFileDevice> file_;
    int error_ = 0;
    bool inPlace_ = false;
};

// The settings file's writer: the whole contents at once, a new file owner-only. A regular file
// that cannot be replaced by a rename is written in place, as an export is; a device or a FIFO
// is refused. False when anything fails; by rename the old file is then untouched.
bool writeFileAtomically(const QString& path, QByteArrayView contents);

// Removes what a save of path killed before its rename left beside it: QSaveFile's temporary
// files, "<name>." and six ASCII letters, of ours, regular, with no other name, last written at
// or after `since`, when that save began; a file of that name from before stays. Only while no
// other save of path can run (ProfileBatch holds the file's lock).
void removeLeftoverSaves(const QString& path, const QDateTime& since);

} // namespace platform
