// The export file's lines, its encoding and every way writing it can fail.

#include "browser/ExportFile.h"
#include "browser/ProgramError.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

using browser::ExportFile;
using browser::ExportOutput;
using browser::ExportWriter;
using browser::ProgramError;

namespace {

QByteArray readBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A device that takes `capacity` bytes and refuses the rest, like a disk that fills up.
class FillingDevice : public QIODevice {
public:
    explicit FillingDevice(qint64 capacity)
        : capacity(capacity)
    {
        open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }
    QByteArray received;
    int writeCalls = 0;

protected:
    qint64 readData(char*, qint64) override { return -1; }
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

template <typename Action> int errorNumberOf(Action&& action)
{
    try {
        action();
    } catch (const ProgramError& error) {
        return error.number();
    }
    return 0;
}

} // namespace

class TestExportFile : public QObject {
    Q_OBJECT

private slots:
    void init() { QVERIFY(temp.isValid()); }

    void headingUsesTheHalfWidthCornerBrackets()
    {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        ExportWriter writer(buffer);
        writer.writeLine(browser::headingLine(QStringLiteral("ou=営業部")));
        writer.flush();
        QCOMPARE(buffer.data(),
            QByteArray(
                "\xA2ou=\x89\x63\x8B\xC6\x95\x94\xA3\x88\xC8\x89\xBA\x82\xC9\x91\xB6\x8D\xDD\x82\xB7\x82\xE9\x83I"
                "\x83u\x83W\x83"
                "F\x83N\x83g\r\n"));
    }

    void dataLineEndsEveryFieldWithATab()
    {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        ExportWriter writer(buffer);
        writer.writeLine(browser::dataLine(
            3, QStringLiteral("user"), QStringLiteral("cn=田中 実"), QStringLiteral("LDAP://cn=田中 実,dc=x")));
        writer.flush();
        QCOMPARE(buffer.data(),
            QByteArray("3\tuser\tcn=\x93\x63\x92\x86 \x8E\xC0\tLDAP://cn=\x93\x63\x92\x86 \x8E\xC0,dc=x\t\r\n"));
    }

    void charactersOutsideCp932BecomeQuestionMarks()
    {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        ExportWriter writer(buffer);
        writer.writeLine(QStringLiteral("cn=Hans Müller"));
        writer.writeLine(QStringLiteral("cn=김민준\t😀"));
        writer.flush();
        QCOMPARE(buffer.data(), QByteArray("cn=Hans M?ller\r\ncn=???\t?\r\n"));
    }

    void valuesAreWrittenAsTheyAre()
    {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        ExportWriter writer(buffer);
        writer.writeLine(
            browser::dataLine(1, QStringLiteral("user"), QStringLiteral("cn=a\"b,c\td"), QStringLiteral("p")));
        writer.flush();
        QCOMPARE(buffer.data(), QByteArray("1\tuser\tcn=a\"b,c\td\tp\t\r\n"));
    }

    void manyLinesArriveWholeAndInOrder()
    {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        ExportWriter writer(buffer);
        QByteArray expected;
        for (int i = 1; i <= 20000; ++i) {
            writer.writeLine(QStringLiteral("行%1").arg(i));
            expected += "\x8D\x73" + QByteArray::number(i) + "\r\n";
        }
        writer.flush();
        QVERIFY(expected.size() > 2 * ExportWriter::bufferSize);
        QCOMPARE(buffer.data(), expected);
    }

    void deviceThatFillsUpFailsAndIsNotWrittenAgain()
    {
        FillingDevice device(100);
        ExportWriter writer(device);
        const QString line(60, u'x');
        int number = errorNumberOf([&] {
            for (int i = 0; i < 5000; ++i)
                writer.writeLine(line);
        });
        QCOMPARE(number, browser::errnum::DeviceIo);
        QCOMPARE(device.received, (QByteArray(60, 'x') + "\r\n").repeated(2).left(100));
        const int calls = device.writeCalls;
        // Flushing again must neither succeed nor write the piece a second time.
        QCOMPARE(errorNumberOf([&] { writer.flush(); }), browser::errnum::DeviceIo);
        QCOMPARE(device.writeCalls, calls);
    }

    void smallFileToAFullDiskFailsWhenWrittenOut()
    {
        ExportOutput output(QStringLiteral("/dev/full"));
        output.writeLine(browser::headingLine(QStringLiteral("x")));
        QCOMPARE(errorNumberOf([&] { output.finish(); }), browser::errnum::DiskFull);
    }

    void bigFileToAFullDiskFailsWhileWriting()
    {
        ExportOutput output(QStringLiteral("/dev/full"));
        const QString line(100, u'x');
        QCOMPARE(errorNumberOf([&] {
            for (int i = 0; i < 10000; ++i)
                output.writeLine(line);
        }),
            browser::errnum::DiskFull);
    }

    void existingFileIsEmptiedWhenOpened()
    {
        const QString path = temp.filePath(QStringLiteral("old.csv"));
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(5000, 'o'));
        old.close();

        ExportOutput output(path);
        QCOMPARE(readBytes(path), QByteArray());
        output.writeLine(QStringLiteral("new"));
        output.finish();
        QCOMPARE(readBytes(path), QByteArray("new\r\n"));
    }

    void abandonWritesOutWhatWasWritten()
    {
        const QString path = temp.filePath(QStringLiteral("abandoned.csv"));
        ExportOutput output(path);
        output.writeLine(QStringLiteral("heading"));
        output.abandon();
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
    }
    void fileThatCannotBeCreatedNamesTheReason()
    {
        QFETCH(QString, path);
        QFETCH(int, number);
        const QString full = path.isEmpty() ? temp.path() : path.startsWith(u'/') ? path : temp.filePath(path);
        QCOMPARE(errorNumberOf([&] { ExportOutput output(full); }), number);
    }

    void removedFolderIsNotReportedAsSaved()
    {
        const QString folder = temp.filePath(QStringLiteral("vanishing"));
        QVERIFY(QDir().mkpath(folder));
        ExportOutput output(folder + QStringLiteral("/list.csv"));
        output.writeLine(QStringLiteral("line"));
        QVERIFY(QDir(folder).removeRecursively());
        QCOMPARE(errorNumberOf([&] { output.finish(); }), browser::errnum::PathNotFound);
    }

    void renamedFolderIsNotReportedAsSaved()
    {
        const QString folder = temp.filePath(QStringLiteral("moving"));
        QVERIFY(QDir().mkpath(folder));
        ExportOutput output(folder + QStringLiteral("/list.csv"));
        output.writeLine(QStringLiteral("line"));
        QVERIFY(QDir().rename(folder, temp.filePath(QStringLiteral("moved"))));
        QCOMPARE(errorNumberOf([&] { output.finish(); }), browser::errnum::PathNotFound);
    }

    void replacedFileIsNotReportedAsSaved()
    {
        const QString path = temp.filePath(QStringLiteral("replaced.csv"));
        ExportOutput output(path);
        output.writeLine(QStringLiteral("line"));
        QVERIFY(QFile::remove(path));
        QFile other(path);
        QVERIFY(other.open(QIODevice::WriteOnly));
        other.close();
        QCOMPARE(errorNumberOf([&] { output.finish(); }), browser::errnum::PathNotFound);
    }

    void deviceThatCannotBeSyncedIsStillSaved()
    {
        ExportOutput output(QStringLiteral("/dev/null"));
        output.writeLine(QStringLiteral("line"));
        QCOMPARE(errorNumberOf([&] { output.finish(); }), 0);
    }

    void reportTextIsNumberThenDescription()
    {
        QCOMPARE(browser::fileError(ENOSPC).reportText(), QStringLiteral("61\r\nディスクの空き容量が不足しています。"));
        QCOMPARE(browser::fileError(EIO).number(), browser::errnum::DeviceIo);
        QCOMPARE(browser::fileError(EROFS).number(), browser::errnum::PermissionDenied);
    }

private:
    QTemporaryDir temp;
};

QTEST_MAIN(TestExportFile)
#include "test_ExportFile.moc"
