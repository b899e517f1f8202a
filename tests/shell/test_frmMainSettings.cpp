// The login fields of frmMain and data.ini: load step on construction, unload step on close.
#include "DataTable.h"
#include "FileSizeLimit.h"
#include "MainWindowFixture.h"
#include "TestFiles.h"
#include "platform/AppInfo.h"
#include "platform/Cp932.h"
#include "platform/MessageBox.h"
#include "platform/Testing.h"
#include "shell/frmMain.h"

#include <QLineEdit>
#include <QTest>
#include <memory>
#include <optional>
#include <sys/stat.h>

using namespace testfiles;

namespace {
struct Fields {
    QString domain, account, password;
};

Fields fieldsOf(const frmMain& w)
{
    return { w.txtDomain->text(), w.txtAccount->text(), w.txtPassWord->text() };
}

Fields loadFresh()
{
    frmMain w;
    return fieldsOf(w);
}

// The three fields, each compared on its own.
void verifyFields(const Fields& loaded, const Fields& expected)
{
    QCOMPARE(loaded.domain, expected.domain);
    QCOMPARE(loaded.account, expected.account);
    QCOMPARE(loaded.password, expected.password);
}

void saveThroughWindow(const Fields& f)
{
    frmMain w;
    w.txtDomain->setText(f.domain);
    w.txtAccount->setText(f.account);
    w.txtPassWord->setText(f.password);
    w.close();
}
} // namespace
Q_DECLARE_METATYPE(Fields)

class TestFrmMainSettings : public QObject, MainWindowFixture {
    Q_OBJECT

private slots:
    void init()
    {
        startCase();
        ini = appFolder->filePath(QStringLiteral("data.ini"));
    }
    void cleanup()
    {
        platform::testing::failConverterOpen(false);
        endCase();
    }

    void valuesComeBackAsTyped_data()
    {
        QTest::addColumn<Fields>("typed");
        QTest::newRow("ascii") << Fields { "example.test", "administrator", "P@ss w0rd!" };
        QTest::newRow("japanese") << Fields { "営業.例", "山田太郎", "ひみつ①" };
        QTest::newRow("mixed") << Fields { "corp.example.test", "yamada山田", "ﾊﾟｽ=word\"" };
        QTest::newRow("all empty") << Fields { "", "", "" };
    }
    void valuesComeBackAsTyped()
    {
        QFETCH(Fields, typed);
        saveThroughWindow(typed);
        verifyFields(loadFresh(), typed);
    }

    void valuesComeBackInAFolderCp932CannotName_data() { foldersCp932CannotNameRows(); }
    void valuesComeBackInAFolderCp932CannotName()
    {
        QFETCH(QString, folder);
        QVERIFY(appFolder->moveInto(folder));
        saveThroughWindow({ QStringLiteral("example.test"), QStringLiteral("山田"), QStringLiteral("pw") });
        QVERIFY(QFileInfo::exists(appFolder->filePath(folder + QStringLiteral("/data.ini"))));
        QCOMPARE(loadFresh().account, QStringLiteral("山田"));
    }

    void newFileHoldsExactlyTheSectionAndThreeKeysInCp932()
    {
        saveThroughWindow({ QStringLiteral("example.test"), QStringLiteral("山田"), QStringLiteral("pw") });
        QCOMPARE(
            readBytes(ini), sjis(QStringLiteral("[Data]\r\nDOMAIN=example.test\r\nACCOUNT=山田\r\nPASSWORD=pw\r\n")));
    }

    void newFileIsReadableByItsOwnerOnly()
    {
        const mode_t previous = ::umask(022);
        saveThroughWindow({ QStringLiteral("d"), QStringLiteral("a"), QStringLiteral("secret") });
        ::umask(previous);
        QCOMPARE(QFileInfo(ini).permissions(),
            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser);
    }

    void longValuesAreCutTo254BytesWithoutHalfCharacters_data()
    {
        addColumns<QString, QString>({ "stored", "shown" });
        QTest::newRow("300 ascii") << QString(300, u'x') << QString(254, u'x');
        QTest::newRow("200 double-byte") << QString(200, u'漢') << QString(127, u'漢');
        QTest::newRow("odd byte at the cut") << u'a' + QString(200, u'あ') << u'a' + QString(126, u'あ');
    }
    void longValuesAreCutTo254BytesWithoutHalfCharacters()
    {
        QFETCH(QString, stored);
        QFETCH(QString, shown);
        QVERIFY(writeBytes(
            ini, sjis(QStringLiteral("[Data]\r\nDOMAIN=") + stored + QStringLiteral("\r\nACCOUNT=short\r\n"))));
        const Fields loaded = loadFresh();
        QCOMPARE(loaded.domain, shown);
        // What the longer value left in the shared buffer stays out of the next field.
        QCOMPARE(loaded.account, QStringLiteral("short"));
    }

    void keysAndSectionInOtherLetterCaseAreFound()
    {
        QVERIFY(writeBytes(ini, "[data]\r\ndomain=example.test\r\nAccount=adm\r\n"));
        verifyFields(loadFresh(), { QStringLiteral("example.test"), QStringLiteral("adm"), QString() });
    }

    void saveKeepsCommentsOtherSectionsAndUnknownKeys()
    {
        QVERIFY(writeBytes(ini,
            sjis(QStringLiteral("; 設定\r\n[Other]\r\nDOMAIN=elsewhere\r\n[Data]\r\nPASSWORD=old\r\nTHEME=青\r\n\r\n"
                                "[Last]\r\nx=1\r\n"))));
        saveThroughWindow({ QStringLiteral("d.test"), QStringLiteral("acc"), QStringLiteral("new") });
        QCOMPARE(readBytes(ini),
            sjis(QStringLiteral("; 設定\r\n[Other]\r\nDOMAIN=elsewhere\r\n[Data]\r\nPASSWORD=new\r\nTHEME=青\r\n"
                                "DOMAIN=d.test\r\nACCOUNT=acc\r\n\r\n[Last]\r\nx=1\r\n")));
    }

    void charactersCp932CannotHoldComeBackAsQuestionMarks()
    {
        saveThroughWindow({ QStringLiteral("café.test"), QStringLiteral("김😀"), QStringLiteral("ok") });
        const Fields loaded = loadFresh();
        QCOMPARE(loaded.domain, QStringLiteral("caf?.test"));
        QCOMPARE(loaded.account, QStringLiteral("??"));
    }

    void brokenOrMissingFileGivesEmptyFields_data()
    {
        addColumns<bool, QByteArray>({ "exists", "contents" });
        QByteArray binary;
        for (int i = 0; i < 65536; ++i)
            binary += char((i * 2654435761u) >> 24);
        QByteArray garbage(10 * 1024 * 1024, '\0');
        for (qsizetype i = 0; i < garbage.size(); ++i)
            garbage[i] = char("[=\r\n\x81\x82"
                              "Data"[i % 10]
                ^ (i >> 11));
        QTest::newRow("missing") << false << QByteArray();
        QTest::newRow("empty") << true << QByteArray();
        QTest::newRow("binary") << true << binary;
        QTest::newRow("10 MB garbage") << true << garbage;
        QTest::newRow("NULs and no newline") << true << QByteArray(5000, '\0');
    }
    void brokenOrMissingFileGivesEmptyFields()
    {
        QFETCH(bool, exists);
        QFETCH(QByteArray, contents);
        if (exists)
            QVERIFY(writeBytes(ini, contents));
        verifyFields(loadFresh(), {});
    }

    // The folder takes no new file, so the file cannot be replaced: a writable one is written in
    // place, a read-only one stays as it was, silently.
    void unwritableDirectoryGetsTheFileWrittenInPlaceOrIgnoredSilently_data()
    {
        oneColumn<bool>("fileWritable", { { "file writable", true }, { "file read-only", false } });
    }
    void unwritableDirectoryGetsTheFileWrittenInPlaceOrIgnoredSilently()
    {
        QFETCH(bool, fileWritable);
        QVERIFY(writeBytes(ini, "[Data]\r\nDOMAIN=old.test\r\n"));
        {
            std::optional<Unwritable> file;
            if (!fileWritable)
                file.emplace(ini);
            const Unwritable guard(appFolder->path());
            if (!guard.ok() || (file && !file->ok()))
                QSKIP("cannot make a directory (or a file) unwritable for this user");
            saveThroughWindow({ QStringLiteral("new.test"), QStringLiteral("a"), QStringLiteral("p") });
        }
        QCOMPARE(entries(appFolder->path()), QStringList { QStringLiteral("data.ini") });
        QCOMPARE(loadFresh().domain, fileWritable ? QStringLiteral("new.test") : QStringLiteral("old.test"));
    }

    void writeFailingHalfWayLeavesTheOldFileWhole()
    {
        const QByteArray before = "[Data]\r\nDOMAIN=old.test\r\nACCOUNT=a\r\nPASSWORD=p\r\n";
        QVERIFY(writeBytes(ini, before));
        {
            const FileSizeLimit diskFullAfter(20);
            saveThroughWindow({ QStringLiteral("new.test"), QStringLiteral("b"), QStringLiteral("q") });
        }
        QCOMPARE(readBytes(ini), before);
        QCOMPARE(entries(appFolder->path()), QStringList { QStringLiteral("data.ini") });
    }

    void fifoHoldsUpNeitherStartNorEnd()
    {
        QCOMPARE(::mkfifo(QFile::encodeName(ini).constData(), 0600), 0);
        ::alarm(30); // one that blocks ends the suite (SIGALRM) instead of holding it
        QCOMPARE(loadFresh().domain, QString());
        saveThroughWindow({ QStringLiteral("new.test"), QStringLiteral("a"), QStringLiteral("p") });
        ::alarm(0);
        QVERIFY(QFileInfo::exists(ini) && !QFileInfo(ini).isFile());
        QCOMPARE(entries(appFolder->path()), QStringList { QStringLiteral("data.ini") });
    }

    void converterThatCannotBeOpenedLeavesTheWindowUpWithEmptyFields()
    {
        QVERIFY(writeBytes(ini, "[Data]\r\nDOMAIN=example.test\r\nACCOUNT=a\r\nPASSWORD=p\r\n"));
        platform::testing::failConverterOpen(true);
        frmMain w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        verifyFields(fieldsOf(w), {});
    }

    void converterThatCannotBeOpenedAtUnloadShowsNoBoxAndTheWindowCloses()
    {
        const QByteArray before = "[Data]\r\nDOMAIN=old.test\r\n";
        QVERIFY(writeBytes(ini, before));
        frmMain w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.txtDomain->setText(QStringLiteral("new.test"));
        platform::testing::failConverterOpen(true);
        QVERIFY(w.close());
        QVERIFY(!w.isVisible());
        // The domain needed the converter; the empty account and password did not.
        QCOMPARE(readBytes(ini), before + "ACCOUNT=\r\nPASSWORD=\r\n");
    }

private:
    QString ini;
};

QTEST_MAIN(TestFrmMainSettings)
#include "test_frmMainSettings.moc"
