// The export file's lines, its encoding and every way writing it can fail.

#include "ErrorNumber.h"
#include "TestFiles.h"
#include "browser/ExportFile.h"
#include "browser/ProgramError.h"
#include "platform/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <functional>
#include <grp.h>
#include <limits>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using browser::ExportWriter;
using browser::ProgramError;

namespace {

using testfiles::entries;
using testfiles::readBytes;
using testfiles::writeBytes;

// An export file that keeps what it is given in memory: `capacity` bytes, refusing the rest
// like a disk that fills up.
class RecordingFile : public platform::AtomicFile {
public:
    explicit RecordingFile(qint64 capacity = std::numeric_limits<qint64>::max())
        : AtomicFile(QDir::temp().filePath(QStringLiteral("mivora-recorded.csv")), {})
        , capacity(capacity)
    {
        open(QIODevice::WriteOnly);
    }
    QByteArray received;
    int writeCalls = 0;

protected:
    qint64 writeData(const char* data, qint64 size) override
    {
        ++writeCalls;
        const qint64 room = capacity - received.size();
        received.append(data, qMin(room, size));
        return room >= size ? size : -1;
    }

private:
    qint64 capacity;
};

// The bytes a file would get from a writer given `lines`.
QByteArray exported(std::initializer_list<QString> lines)
{
    RecordingFile file;
    ExportWriter writer(file);
    for (const QString& line : lines)
        writer.writeLine(line);
    writer.flush();
    return file.received;
}

// A device, which the export refuses, written in place: /dev/full stands for a disk that fills up.
std::unique_ptr<platform::AtomicFile> device(const QString& path)
{
    auto file
        = std::make_unique<platform::AtomicFile>(path, platform::AtomicFile::Options { .inPlaceWhenNeeded = true });
    return file->open(QIODevice::WriteOnly) ? std::move(file) : nullptr;
}

// The export of one listing as the list command makes it: the file and its writer.
struct Export {
    explicit Export(const QString& path)
        : Export(browser::openExportFile(path))
    { }
    explicit Export(std::unique_ptr<platform::AtomicFile> opened)
        : file(std::move(opened))
        , writer(*file)
    { }
    void writeLine(QStringView text) { writer.writeLine(text); }
    void finish() { writer.finish(); }
    void keepWhatWasWritten() noexcept { writer.keepWhatWasWritten(); }

    std::unique_ptr<platform::AtomicFile> file;
    ExportWriter writer;
};

} // namespace

class TestExportFile : public QObject {
    Q_OBJECT

private slots:
    void init() { QVERIFY(temp.isValid()); }

    void headingUsesTheHalfWidthCornerBrackets()
    {
        QCOMPARE(exported({ browser::headingLine(QStringLiteral("ou=営業部")) }),
            QByteArray("\xA2ou=\x89\x63\x8B\xC6\x95\x94\xA3\x88\xC8\x89\xBA\x82\xC9\x91\xB6\x8D\xDD\x82\xB7\x82\xE9"
                       "\x83I\x83u\x83W\x83\x46\x83N\x83g\r\n"));
    }

    void dataLineEndsEveryFieldWithATab()
    {
        QCOMPARE(exported({ browser::dataLine(3, QStringLiteral("user"), QStringLiteral("cn=田中 実"),
                     QStringLiteral("LDAP://cn=田中 実,dc=x")) }),
            QByteArray("3\tuser\tcn=\x93\x63\x92\x86 \x8E\xC0\tLDAP://cn=\x93\x63\x92\x86 \x8E\xC0,dc=x\t\r\n"));
    }

    void charactersOutsideCp932BecomeQuestionMarks()
    {
        QCOMPARE(exported({ QStringLiteral("cn=Hans Müller"), QStringLiteral("cn=김민준\t😀") }),
            QByteArray("cn=Hans M?ller\r\ncn=???\t?\r\n"));
    }

    void valuesAreWrittenAsTheyAre()
    {
        QCOMPARE(exported({ browser::dataLine(
                     1, QStringLiteral("user"), QStringLiteral("cn=a\"b,c\td"), QStringLiteral("p")) }),
            QByteArray("1\tuser\tcn=a\"b,c\td\tp\t\r\n"));
    }

    void manyLinesArriveWholeAndInOrder()
    {
        RecordingFile file;
        ExportWriter writer(file);
        QByteArray expected;
        for (int i = 1; i <= 20000; ++i) {
            writer.writeLine(QStringLiteral("行%1").arg(i));
            expected += "\x8D\x73" + QByteArray::number(i) + "\r\n";
        }
        QVERIFY(expected.size() > 2 * ExportWriter::bufferSize);
        writer.flush();
        QCOMPARE(file.received, expected);
    }

    void deviceThatFillsUpFailsAndIsNotWrittenAgain()
    {
        RecordingFile device(100);
        ExportWriter writer(device);
        const QString line(60, u'x');
        int number = errorNumberOf<ProgramError>([&] {
            for (int i = 0; i < 5000; ++i)
                writer.writeLine(line);
        });
        QCOMPARE(number, browser::errnum::DeviceIo);
        QCOMPARE(device.received, (QByteArray(60, 'x') + "\r\n").repeated(2).left(100));
        const int calls = device.writeCalls;
        // Flushing again must neither succeed nor write the piece a second time.
        QCOMPARE(errorNumberOf<ProgramError>([&] { writer.flush(); }), browser::errnum::DeviceIo);
        QCOMPARE(device.writeCalls, calls);
    }

    void smallFileToAFullDiskFailsWhenWrittenOut()
    {
        Export output(device(QStringLiteral("/dev/full")));
        output.writeLine(browser::headingLine(QStringLiteral("x")));
        QCOMPARE(errorNumberOf<ProgramError>([&] { output.finish(); }), browser::errnum::DiskFull);
    }

    void bigFileToAFullDiskFailsWhileWriting()
    {
        Export output(device(QStringLiteral("/dev/full")));
        const QString line(100, u'x');
        QCOMPARE(errorNumberOf<ProgramError>([&] {
            for (int i = 0; i < 10000; ++i)
                output.writeLine(line);
        }),
            browser::errnum::DiskFull);
    }

    void existingFileStaysWholeUntilTheExportIsWrittenOut()
    {
        const QString path = temp.filePath(QStringLiteral("old.csv"));
        QVERIFY(writeBytes(path, QByteArray(5000, 'o')));
        QCOMPARE(::chmod(QFile::encodeName(path).constData(), 0640), 0);

        Export output(path);
        output.writeLine(QStringLiteral("new"));
        QCOMPARE(readBytes(path), QByteArray(5000, 'o'));
        output.finish();
        QCOMPARE(readBytes(path), QByteArray("new\r\n"));
        struct stat replaced { };
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &replaced), 0);
        QCOMPARE(replaced.st_mode & 07777, mode_t(0640));
    }

    void symbolicLinkKeepsPointingAtTheReplacedFile()
    {
        const QString target = temp.filePath(QStringLiteral("real.csv"));
        const QString link = temp.filePath(QStringLiteral("link.csv"));
        QVERIFY(writeBytes(target, "old"));
        QVERIFY(QFile::link(target, link));
        Export output(link);
        output.writeLine(QStringLiteral("new"));
        output.finish();
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(readBytes(target), QByteArray("new\r\n"));
    }

    void exportKilledHalfWayLeavesThePreviousFile()
    {
        const QString folder = temp.filePath(QStringLiteral("killed"));
        QVERIFY(QDir().mkpath(folder));
        const QString path = folder + QStringLiteral("/list.csv");
        QVERIFY(writeBytes(path, "previous\r\n"));

        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            // Several pieces written out, the rest still buffered: then the process dies.
            Export output(path);
            for (int i = 0; i < 3000; ++i)
                output.writeLine(QString(100, u'k'));
            ::raise(SIGSTOP);
            output.finish();
            ::_exit(0);
        }
        int status = 0;
        const bool stopped = ::waitpid(child, &status, WUNTRACED) == child && WIFSTOPPED(status);
        // What it wrote is in a file of its own beside the chosen one.
        const qint64 written = testfiles::sizeOfFileOpenIn(child, folder, path);
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
        QVERIFY2(stopped, "the exporting process did not get half way");
        QVERIFY(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
        QVERIFY(written >= ExportWriter::bufferSize);

        QCOMPARE(readBytes(path), QByteArray("previous\r\n"));
        const QStringList names = entries(folder);
        QVERIFY(names.contains(QStringLiteral("list.csv")) && names.size() <= 2);
    }

    void fullFilesystemFailsAndKeepsThePreviousFile()
    {
        const testfiles::SmallTmpfs disk(64 * 1024);
        if (!disk.ok())
            QSKIP(qPrintable(disk.reason()));
        const QString path = disk.filePath(QStringLiteral("list.csv"));
        QVERIFY(writeBytes(path, "previous\r\n"));

        Export output(path);
        QCOMPARE(errorNumberOf<ProgramError>([&] {
            for (int i = 0; i < 3000; ++i)
                output.writeLine(QString(100, u'f'));
            output.finish();
        }),
            browser::errnum::DiskFull);
        output.keepWhatWasWritten();

        QCOMPARE(readBytes(path), QByteArray("previous\r\n"));
        QCOMPARE(entries(disk.path()), QStringList { QStringLiteral("list.csv") });
    }

    void aFailedListingKeepsWhatWasWritten()
    {
        const QString path = temp.filePath(QStringLiteral("kept.csv"));
        Export output(path);
        output.writeLine(QStringLiteral("heading"));
        output.keepWhatWasWritten();
        QCOMPARE(readBytes(path), QByteArray("heading\r\n"));
    }

    void fileThatCannotBeCreatedNamesTheReason_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("number");
        QTest::newRow("missing folder") << QStringLiteral("no/such/folder/x.csv") << browser::errnum::PathNotFound;
        QTest::newRow("folder nobody may write")
            << QStringLiteral("/sys/mivora-x.csv") << browser::errnum::PermissionDenied;
        QTest::newRow("a folder's name") << QString() << browser::errnum::PathFileAccess;
        QTest::newRow("name too long") << QString(300, u'n') << browser::errnum::BadFileName;
        QTest::newRow("device") << QStringLiteral("/dev/null") << browser::errnum::PathFileAccess;
    }
    void fileThatCannotBeCreatedNamesTheReason()
    {
        QFETCH(QString, path);
        QFETCH(int, number);
        const QString full = path.isEmpty() ? temp.path() : path.startsWith(u'/') ? path : temp.filePath(path);
        QCOMPARE(errorNumberOf<ProgramError>([&] { Export output(full); }), number);
    }

    void removedFolderIsNotReportedAsSaved()
    {
        QCOMPARE(finishAfter([](const QString& folder) { return QDir(folder).removeRecursively(); }),
            browser::errnum::PathNotFound);
    }

    void renamedFolderIsNotReportedAsSaved()
    {
        QCOMPARE(finishAfter([](const QString& folder) { return QDir().rename(folder, folder + u'2'); }),
            browser::errnum::PathNotFound);
    }

    // The new file of a replacement has no name anyone could remove; a file written in place has.
    void lostNewFileIsNotReportedAsSaved()
    {
        if (::geteuid() != 0)
            QSKIP("the file of another user in a sticky folder needs root to set up, as in CI");
        const QString path = testfiles::othersFileInStickyFolder(temp.path(), 0, "previous");
        QVERIFY(!path.isEmpty());

        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            // Another user may write root's file here but not replace it: it is written in place.
            if (::setgroups(0, nullptr) != 0 || ::setgid(4343) != 0 || ::setuid(4343) != 0)
                ::_exit(125);
            ::_exit(errorNumberOf<ProgramError>([&] {
                Export output(path);
                if (!output.file->writesInPlace())
                    ::_exit(124);
                output.writeLine(QStringLiteral("line"));
                ::raise(SIGSTOP);
                output.finish();
            }));
        }
        int status = 0;
        const bool stopped = ::waitpid(child, &status, WUNTRACED) == child && WIFSTOPPED(status);
        const bool removed = QFile::remove(path);
        ::kill(child, stopped ? SIGCONT : SIGKILL);
        ::waitpid(child, &status, 0);
        QVERIFY2(stopped, "the exporting process did not get half way");
        QVERIFY(removed);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), browser::errnum::PathNotFound);
    }

    void fileInAFolderThatTakesNoNewFileIsOverwritten()
    {
        const QString folder = temp.filePath(QStringLiteral("closed"));
        QVERIFY(QDir().mkpath(folder));
        const QString path = folder + QStringLiteral("/list.csv");
        QVERIFY(writeBytes(path, "previous contents\r\n"));
        {
            const testfiles::Unwritable guard(folder);
            if (!guard.ok())
                QSKIP("cannot make a folder refuse new files for this user");
            bool inPlace = false;
            QCOMPARE(errorNumberOf<ProgramError>([&] {
                Export output(path);
                inPlace = output.file->writesInPlace();
                output.writeLine(QStringLiteral("new"));
                output.finish();
            }),
                0);
            QVERIFY(inPlace);
        }
        QCOMPARE(readBytes(path), QByteArray("new\r\n"));
        QCOMPARE(entries(folder), QStringList { QStringLiteral("list.csv") });
    }

    void deviceThatCannotBeSyncedIsStillSaved()
    {
        Export output(device(QStringLiteral("/dev/null")));
        output.writeLine(QStringLiteral("line"));
        QCOMPARE(errorNumberOf<ProgramError>([&] { output.finish(); }), 0);
    }

    void reportTextIsNumberThenDescription()
    {
        QCOMPARE(browser::fileError(ENOSPC).reportText(), QStringLiteral("61\r\nディスクの空き容量が不足しています。"));
        QCOMPARE(browser::fileError(EIO).number(), browser::errnum::DeviceIo);
        QCOMPARE(browser::fileError(EROFS).number(), browser::errnum::PermissionDenied);
    }

private:
    // The error number of finishing an export into a folder of its own once `change` has been
    // done to the folder: -1 when the folder could not be made, -2 when `change` failed.
    int finishAfter(const std::function<bool(const QString&)>& change)
    {
        const QString folder = temp.filePath(QStringLiteral("changing"));
        if (!QDir().mkpath(folder))
            return -1;
        Export output(folder + QStringLiteral("/list.csv"));
        output.writeLine(QStringLiteral("line"));
        return change(folder) ? errorNumberOf<ProgramError>([&] { output.finish(); }) : -2;
    }

    QTemporaryDir temp;
};

QTEST_MAIN(TestExportFile)
#include "test_ExportFile.moc"
