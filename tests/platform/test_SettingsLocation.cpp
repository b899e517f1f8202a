// Where the settings files lie: beside the executable for a copy run from any folder, per user
// under $XDG_CONFIG_HOME/mivora for the installed program, never under its installation prefix.
#include "AppFolderScope.h"
#include "MessageRecorder.h"
#include "TestFiles.h"
#include "platform/AppInfo.h"
#include "platform/MessageBox.h"
#include "platform/Testing.h"
#include "shell/frmMain.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QLineEdit>
#include <QTest>
#include <sys/stat.h>

using namespace testfiles;

namespace {

mode_t modeOf(const QString& path)
{
    struct stat st { };
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & 07777) : mode_t(-1);
}

// What the executable's folder holds, with each file's time: nothing may be added or changed.
QStringList besideTheExecutable()
{
    QStringList seen;
    const QDir dir(QCoreApplication::applicationDirPath());
    for (const QFileInfo& info : dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name))
        seen << info.fileName() + u' ' + QString::number(info.lastModified().toMSecsSinceEpoch());
    return seen;
}

} // namespace

class TestSettingsLocation : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(temp.renew());
        savedHome = qgetenv("HOME");
        savedXdg = qgetenv("XDG_CONFIG_HOME");
        qputenv("HOME", QFile::encodeName(temp.filePath(QStringLiteral("home"))));
        QVERIFY(QDir().mkpath(temp.filePath(QStringLiteral("home"))));
        platform::testing::setAppPath(QString());
    }
    void cleanup()
    {
        platform::setSettingsLocation(platform::SettingsLocation::BesideExecutable);
        qputenv("HOME", savedHome);
        qputenv("XDG_CONFIG_HOME", savedXdg);
        QVERIFY2(recorder.boxes.isEmpty(), qPrintable(recorder.texts().join(u'|')));
        recorder.boxes.clear();
    }

    void aCopyKeepsItsFilesBesideItsExecutable()
    {
        QCOMPARE(platform::settingsLocation(), platform::SettingsLocation::BesideExecutable);
        QCOMPARE(platform::appPath(), QCoreApplication::applicationDirPath());
    }

    void installedProgramUsesXdgConfigHomeAndCreatesOwnerOnlyFolders()
    {
        const QString config = temp.filePath(QStringLiteral("cfg/nested"));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config + u'/'));
        platform::setSettingsLocation(platform::SettingsLocation::UserConfig);
        const mode_t previous = ::umask(022);
        const QString folder = platform::appPath();
        ::umask(previous);
        QCOMPARE(folder, config + QStringLiteral("/mivora"));
        QCOMPARE(modeOf(folder), mode_t(0700));
        QCOMPARE(modeOf(config), mode_t(0700));
    }

    void relativeOrEmptyXdgConfigHomeMeansDotConfigInHome()
    {
        platform::setSettingsLocation(platform::SettingsLocation::UserConfig);
        const QString expected = temp.filePath(QStringLiteral("home/.config/mivora"));
        for (const QByteArray& value : { QByteArray("relative/cfg"), QByteArray() }) {
            qputenv("XDG_CONFIG_HOME", value);
            QCOMPARE(platform::appPath(), expected);
            QVERIFY(QFileInfo(expected).isDir());
            QVERIFY(!QFileInfo::exists(QStringLiteral("relative")));
        }
    }

    void withoutHomeTheAccountsHomeIsUsedNotTheRootFolder()
    {
        qunsetenv("HOME");
        qunsetenv("XDG_CONFIG_HOME");
        // userSettingsFolder only names the folder: the real home must not be touched here.
        const QString folder = platform::userSettingsFolder();
        QVERIFY2(folder.endsWith(QStringLiteral("/.config/mivora")), qPrintable(folder));
        QVERIFY2(folder != QStringLiteral("//.config/mivora") && folder != QStringLiteral("/.config/mivora"),
            qPrintable(folder));
    }

    // The installed program's unload writes the same file as ever, only in the user's folder.
    void installedWindowSavesPerUserAndNothingBesideTheExecutable()
    {
        const QString config = temp.filePath(QStringLiteral("cfg"));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config));
        platform::setSettingsLocation(platform::SettingsLocation::UserConfig);
        const QStringList before = besideTheExecutable();
        {
            frmMain w;
            w.txtDomain->setText(QStringLiteral("example.test"));
            w.txtAccount->setText(QStringLiteral("山田"));
            w.txtPassWord->setText(QStringLiteral("pw"));
            w.close();
        }
        const QString ini = config + QStringLiteral("/mivora/data.ini");
        QCOMPARE(
            readBytes(ini), sjis(QStringLiteral("[Data]\r\nDOMAIN=example.test\r\nACCOUNT=山田\r\nPASSWORD=pw\r\n")));
        QCOMPARE(modeOf(ini), mode_t(0600));
        QCOMPARE(modeOf(config + QStringLiteral("/mivora")), mode_t(0700));
        frmMain again;
        QCOMPARE(again.txtAccount->text(), QStringLiteral("山田"));
        QCOMPARE(besideTheExecutable(), before);
    }

    // A folder that cannot be made (a file in its place) is a refused write: ignored, as ever.
    void unwritableUserFolderIsIgnoredAndNeverFallsBackToTheExecutable()
    {
        const QString config = temp.filePath(QStringLiteral("cfg"));
        QVERIFY(writeBytes(config, "not a folder"));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config));
        platform::setSettingsLocation(platform::SettingsLocation::UserConfig);
        const QStringList before = besideTheExecutable();
        {
            frmMain w;
            w.txtDomain->setText(QStringLiteral("example.test"));
            w.close();
        }
        QCOMPARE(readBytes(config), QByteArray("not a folder"));
        QCOMPARE(besideTheExecutable(), before);
    }

private:
    CaseFolder temp;
    QByteArray savedHome, savedXdg;
    MessageRecorder recorder;
};

QTEST_MAIN(TestSettingsLocation)
#include "test_SettingsLocation.moc"
