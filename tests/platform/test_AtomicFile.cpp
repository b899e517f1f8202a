#include "TestFiles.h"
#include "platform/AtomicFile.h"

#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <sys/stat.h>

using platform::writeFileAtomically;
using namespace testfiles;

namespace {
mode_t modeOf(const QString& path)
{
    struct stat st { };
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & 07777) : mode_t(-1);
}
} // namespace

class TestAtomicFile : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        temp = std::make_unique<QTemporaryDir>();
        QVERIFY(temp->isValid());
        path = temp->filePath(QStringLiteral("data.ini"));
    }
    void cleanup() { platform::testing::failWritesAfter(-1); }

    void newFileIsOwnerOnlyWhateverTheUmask()
    {
        const mode_t previous = ::umask(0);
        const bool written = writeFileAtomically(path, "secret");
        ::umask(previous);
        QVERIFY(written);
        QCOMPARE(modeOf(path), mode_t(0600));
        QCOMPARE(readBytes(path), QByteArray("secret"));
    }

    void existingFileKeepsItsMode()
    {
        QVERIFY(writeBytes(path, "old"));
        ::chmod(QFile::encodeName(path).constData(), 0640);
        QVERIFY(writeFileAtomically(path, "new"));
        QCOMPARE(modeOf(path), mode_t(0640));
        QCOMPARE(readBytes(path), QByteArray("new"));
    }

    // A reader that opened the old file (here: a second name for it) never sees a half-new one.
    void oldFileIsReplacedNotOverwritten()
    {
        QVERIFY(writeBytes(path, "old contents"));
        const QString other = temp->filePath(QStringLiteral("other-name"));
        QVERIFY(::link(QFile::encodeName(path).constData(), QFile::encodeName(other).constData()) == 0);
        QVERIFY(writeFileAtomically(path, "new"));
        QCOMPARE(readBytes(other), QByteArray("old contents"));
        QCOMPARE(readBytes(path), QByteArray("new"));
    }

    void failureHalfWayLeavesTheOldFileAndNoTemporaryFile()
    {
        QVERIFY(writeBytes(path, "[Data]\r\nDOMAIN=old\r\n"));
        platform::testing::failWritesAfter(7);
        QVERIFY(!writeFileAtomically(path, QByteArray(4096, 'x')));
        QCOMPARE(readBytes(path), QByteArray("[Data]\r\nDOMAIN=old\r\n"));
        QCOMPARE(entries(temp->path()), QStringList { QStringLiteral("data.ini") });
    }

    void symbolicLinkIsFollowed()
    {
        const QString target = temp->filePath(QStringLiteral("real.ini"));
        QVERIFY(writeBytes(target, "old"));
        QVERIFY(QFile::link(target, path));
        QVERIFY(writeFileAtomically(path, "new"));
        QVERIFY(QFileInfo(path).isSymLink());
        QCOMPARE(readBytes(target), QByteArray("new"));
    }

    void readOnlyFileIsRefusedAndKept()
    {
        QVERIFY(writeBytes(path, "old"));
        const Unwritable guard(path);
        if (!guard.ok())
            QSKIP("cannot make a file read-only for this user");
        QVERIFY(!writeFileAtomically(path, "new"));
        QCOMPARE(readBytes(path), QByteArray("old"));
    }

private:
    std::unique_ptr<QTemporaryDir> temp;
    QString path;
};

QTEST_GUILESS_MAIN(TestAtomicFile)
#include "test_AtomicFile.moc"
