#include "AppFolderScope.h"
#include "FileSizeLimit.h"
#include "TestFiles.h"
#include "probes/basAPI.h"

#include <QTest>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>

using namespace testfiles;

class TestPrivateProfile : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(temp.renew());
        useFile(temp.filePath(QStringLiteral("test.ini")));
    }

    void valueIsFoundWhateverTheLetterCaseOfItsNames()
    {
        QVERIFY(writeBytes(path, "[other]\r\nkey=no\r\n[dAtA]\r\n  Key  =  yes  \r\n"));
        QCOMPARE(get("DATA", "KEY"), QByteArray("yes"));
    }

    void missingFileSectionOrKeyGivesTheDefaultWithoutTrailingBlanks()
    {
        QCOMPARE(get("Data", "KEY", "ERROR  "), QByteArray("ERROR"));
        QVERIFY(writeBytes(path, "[Data]\r\nother=1\r\n"));
        QCOMPARE(get("Data", "KEY", "ERROR"), QByteArray("ERROR"));
        QCOMPARE(get("None", "other", "ERROR"), QByteArray("ERROR"));
        QCOMPARE(get("Data", "other", "ERROR"), QByteArray("1"));
    }

    void presentButEmptyKeyIsEmptyNotTheDefault()
    {
        QVERIFY(writeBytes(path, "[Data]\r\nUSERNAME=\r\n"));
        QCOMPARE(get("Data", "USERNAME", "ERROR"), QByteArray());
    }

    void bufferGetsTheCutValueAndANul()
    {
        QVERIFY(writeBytes(path, "[Data]\r\nk=" + sjis(QStringLiteral("aあい")) + "\r\n"));
        char buffer[8];
        memset(buffer, '#', sizeof buffer);
        QCOMPARE(GetPrivateProfileStringA("Data", "k", "", buffer, 5, file.constData()), 3u);
        QCOMPARE(QByteArray(buffer, 4), QByteArray("a\x82\xa0\0", 4));
        QCOMPARE(buffer[4], '#');
        QCOMPARE(GetPrivateProfileStringA("Data", "k", "", buffer, 1, file.constData()), 0u);
        QCOMPARE(buffer[0], '\0');
    }

    void oneMatchingPairOfQuotesIsRemovedOnRead()
    {
        QVERIFY(writeBytes(path, "[Data]\r\na=\"x y\"\r\nb='z'\r\nc=\"w'\r\n"));
        QCOMPARE(get("Data", "a"), QByteArray("x y"));
        QCOMPARE(get("Data", "b"), QByteArray("z"));
        QCOMPARE(get("Data", "c"), QByteArray("\"w'"));
    }

    // 0x835D is ゾ and 0x8341 ア: their trail bytes look like ']' and 'A'.
    void doubleByteNamesAreNeitherCutNorCaseFolded()
    {
        QVERIFY(writeBytes(path, sjis(QStringLiteral("[ゾ]\r\nア=1\r\n"))));
        QCOMPARE(get(sjis(QStringLiteral("ゾ")), sjis(QStringLiteral("ア"))), QByteArray("1"));
        QCOMPARE(get(sjis(QStringLiteral("ゾ")), sjis(QStringLiteral("ヂ")), "none"), QByteArray("none"));
    }

    void keysBeforeAnySectionOrInAnotherSectionDoNotCount()
    {
        QVERIFY(writeBytes(path, "KEY=top\r\n[Other]\r\nKEY=other\r\n[Data]\r\n"));
        QCOMPARE(get("Data", "KEY", "none"), QByteArray("none"));
    }

    void writeCreatesFileSectionAndKeysInWriteOrder()
    {
        QVERIFY(put("Data", "B", "2"));
        QVERIFY(put("Data", "A", "1"));
        QVERIFY(put("Next", "C", "3"));
        QCOMPARE(readBytes(path), QByteArray("[Data]\r\nB=2\r\nA=1\r\n[Next]\r\nC=3\r\n"));
    }

    void writeReplacesInPlaceAndKeepsEveryOtherByte()
    {
        const QByteArray before = "; comment\n[Data]\r\n  domain = old ; not a comment\r\nX=1\r\n\r\n[Tail]\nz=9";
        QVERIFY(writeBytes(path, before));
        QVERIFY(put("DATA", "DOMAIN", "new"));
        QVERIFY(put("Data", "NEWKEY", "v"));
        QVERIFY(put("tail", "y", "8"));
        QCOMPARE(readBytes(path),
            QByteArray("; comment\n[Data]\r\ndomain=new\r\nX=1\r\nNEWKEY=v\r\n\r\n[Tail]\nz=9\r\ny=8\r\n"));
    }

    void onlyTheFirstOfTwoEqualKeysIsReadAndReplaced()
    {
        QVERIFY(writeBytes(path, "[Data]\r\nk=1\r\nK=2\r\n"));
        QCOMPARE(get("Data", "k"), QByteArray("1"));
        QVERIFY(put("Data", "K", "3"));
        QCOMPARE(readBytes(path), QByteArray("[Data]\r\nk=3\r\nK=2\r\n"));
    }

    void nullValueRemovesTheKeyAndNullKeyTheSection()
    {
        QVERIFY(writeBytes(path, "[A]\r\nk=1\r\nj=2\r\n[B]\r\nm=3\r\n"));
        QVERIFY(put("A", "k", nullptr));
        QCOMPARE(readBytes(path), QByteArray("[A]\r\nj=2\r\n[B]\r\nm=3\r\n"));
        QVERIFY(put("A", nullptr, nullptr));
        QCOMPARE(readBytes(path), QByteArray("[B]\r\nm=3\r\n"));
    }

    void writeIntoAMissingDirectoryOrADirectoryIsRefused()
    {
        QVERIFY(
            !WritePrivateProfileStringA("Data", "k", "v", QFile::encodeName(temp.filePath("no/such.ini")).constData()));
        QVERIFY(!WritePrivateProfileStringA("Data", "k", "v", QFile::encodeName(temp.path()).constData()));
        QCOMPARE(get("Data", "k", "none"), QByteArray("none"));
    }

    void brokenFilesReadAsMissingKeysAndCanStillBeWritten_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QByteArray binary;
        for (int i = 0; i < 4096; ++i)
            binary += char((i * 7919) & 0xff);
        QTest::newRow("binary with NULs") << binary;
        QTest::newRow("10 MB without a newline") << QByteArray(10 * 1024 * 1024, '\x81');
        QTest::newRow("lone CRs and a half bracket") << QByteArray("[Data\rDOMAIN=x\r\r[\x82");
    }
    void brokenFilesReadAsMissingKeysAndCanStillBeWritten()
    {
        QFETCH(QByteArray, contents);
        QVERIFY(writeBytes(path, contents));
        QCOMPARE(get("Data", "DOMAIN", "none"), QByteArray("none"));
        QVERIFY(put("Data", "DOMAIN", "v"));
        QCOMPARE(get("Data", "DOMAIN", "none"), QByteArray("v"));
        QVERIFY(readBytes(path).startsWith(contents));
    }

    void aDeviceThatNeverEndsIsNotASettingsFile()
    {
        // size() is 0 for a device: the reader must stop by itself after the largest file.
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path));
        QCOMPARE(get("Data", "DOMAIN", "none"), QByteArray("none"));
        QVERIFY(!put("Data", "DOMAIN", "v"));
        QVERIFY(QFileInfo(path).isSymLink());
    }

    void saveKilledHalfWayLeavesThePreviousFile()
    {
        QVERIFY(writeBytes(path, "[Data]\r\nDOMAIN=old.test\r\n"));
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            // The kernel lets the save write 12 bytes of the new file and signals the next
            // write; the child stops there and the parent kills it.
            const FileSizeLimit stopAt(12, [](int) { ::raise(SIGSTOP); });
            put("Data", "DOMAIN", "new.test");
            ::_exit(0);
        }
        int status = 0;
        const bool stopped = ::waitpid(child, &status, WUNTRACED) == child && WIFSTOPPED(status);
        // The part written is in a file of its own.
        const qint64 partWritten = testfiles::sizeOfFileOpenIn(child, temp.path(), path);
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
        QVERIFY2(stopped, "the saving process did not get half way");
        QCOMPARE(partWritten, qint64(12));

        QCOMPARE(readBytes(path), QByteArray("[Data]\r\nDOMAIN=old.test\r\n"));
        QCOMPARE(get("Data", "DOMAIN"), QByteArray("old.test"));
        // That file goes with the process when it has no name; a named one the next save does not mind.
        const QStringList names = entries(temp.path());
        QVERIFY(names.contains(QFileInfo(path).fileName()) && names.size() <= 2);
        QVERIFY(put("Data", "DOMAIN", "next.test"));
        QCOMPARE(get("Data", "DOMAIN"), QByteArray("next.test"));
    }

    // Two copies closing at once, many times: the file always ends with one's three fields (its pid).
    void twoCopiesSavingAtOnceLeaveOneCopysFields()
    {
        for (int round = 0; round < 30; ++round) {
            pid_t copies[2] = {};
            for (pid_t& copy : copies) {
                if ((copy = ::fork()) == 0) {
                    const QByteArray value = QByteArray::number(::getpid());
                    platform::ProfileBatch batch(file.constData(), platform::ProfileBatch::Saving);
                    for (const char* key : { "DOMAIN", "ACCOUNT", "PASSWORD" })
                        put("Data", key, value.constData());
                    ::_exit(batch.commit() ? 0 : 1);
                }
            }
            int status = 0;
            for (const pid_t copy : copies)
                QVERIFY(::waitpid(copy, &status, 0) == copy && WIFEXITED(status) && WEXITSTATUS(status) == 0);
            const QByteArray domain = get("Data", "DOMAIN");
            QVERIFY(domain.toInt() == copies[0] || domain.toInt() == copies[1]);
            QCOMPARE(get("Data", "ACCOUNT") + get("Data", "PASSWORD"), domain + domain);
        }
    }

    // A save killed after it took the lock may leave its temporary file, which holds the password:
    // the next save removes it, and keeps a file of that kind of name from before.
    void nextSaveRemovesWhatAKilledSaveLeft()
    {
        const QString leftover = path + QStringLiteral(".QxWzPk");
        const QString backup = path + QStringLiteral(".Backup");
        const struct timespec longAgo[2] = {};
        QVERIFY(
            writeBytes(backup, "") && ::utimensat(AT_FDCWD, QFile::encodeName(backup).constData(), longAgo, 0) == 0);
        QCOMPARE(inChildProcess(0,
                     [&]() -> int {
                         const platform::ProfileBatch killed(file.constData(), platform::ProfileBatch::Saving);
                         ::_exit(writeBytes(leftover, "PASSWORD=old") ? 0 : 1);
                     }),
            0);
        {
            platform::ProfileBatch next(file.constData(), platform::ProfileBatch::Saving);
            QVERIFY(put("Data", "PASSWORD", "new") && next.commit());
        }
        QCOMPARE(entries(temp.path()), (QStringList { QStringLiteral("test.ini"), QStringLiteral("test.ini.Backup") }));
    }

    void saveToAFullDiskIsRefusedAndKeepsThePreviousFile()
    {
        const SmallTmpfs disk(16 * 1024);
        if (!disk.ok())
            QSKIP(qPrintable(disk.reason()));
        useFile(disk.filePath(QStringLiteral("data.ini")));
        QVERIFY(writeBytes(path, "[Data]\r\nDOMAIN=old.test\r\n"));
        QVERIFY(!put("Data", "USERNAME", QByteArray(20 * 1024, 'v').constData()));
        QCOMPARE(readBytes(path), QByteArray("[Data]\r\nDOMAIN=old.test\r\n"));
        QCOMPARE(entries(disk.path()), QStringList { QStringLiteral("data.ini") });
        // Not in the machine's mount namespace (pid 1's): a test killed now leaves nothing mounted.
        QVERIFY(!readBytes(QStringLiteral("/proc/1/mountinfo")).contains(QFile::encodeName(disk.path())));
    }

private:
    // The settings file that get() and put() read and write.
    void useFile(const QString& name)
    {
        path = name;
        file = QFile::encodeName(name);
    }
    QByteArray get(const QByteArray& section, const QByteArray& key, const char* fallback = "")
    {
        char buffer[255];
        GetPrivateProfileStringA(
            section.constData(), key.constData(), fallback, buffer, sizeof buffer, file.constData());
        return QByteArray(buffer);
    }
    bool put(const char* section, const char* key, const char* value)
    {
        return WritePrivateProfileStringA(section, key, value, file.constData());
    }

    CaseFolder temp;
    QString path;
    QByteArray file;
};

QTEST_GUILESS_MAIN(TestPrivateProfile)
#include "test_PrivateProfile.moc"
