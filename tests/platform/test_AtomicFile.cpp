#include "AppFolderScope.h"
#include "DataTable.h"
#include "FileSizeLimit.h"
#include "TestFiles.h"
#include "platform/AtomicFile.h"

#include <QTest>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>

using platform::AtomicFile;
using platform::writeFileAtomically;
using namespace testfiles;

namespace {
// All zero when there is no such file.
struct stat statOf(const QString& path)
{
    struct stat st { };
    ::stat(QFile::encodeName(path).constData(), &st);
    return st;
}

mode_t modeOf(const QString& path)
{
    return statOf(path).st_mode & 07777;
}

// Writes contents through AtomicFile: 0 on success, else the step that failed (1 open, 2 not
// written in place although it had to be, 3 write, 4 commit).
int writeInPlace(const QString& path, const QByteArray& contents)
{
    AtomicFile file(path, { .ownerOnly = false, .inPlaceWhenNeeded = true });
    if (!file.open(QIODevice::WriteOnly))
        return 1;
    if (!file.writesInPlace())
        return 2;
    if (file.write(contents) != contents.size())
        return 3;
    return file.commit() ? 0 : 4;
}

constexpr uid_t fileOwner = 4242;
constexpr uid_t otherUser = 4343;
} // namespace

class TestAtomicFile : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(temp.renew());
        path = temp.filePath(QStringLiteral("data.ini"));
    }

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
        const QString other = temp.filePath(QStringLiteral("other-name"));
        QVERIFY(::link(QFile::encodeName(path).constData(), QFile::encodeName(other).constData()) == 0);
        QVERIFY(writeFileAtomically(path, "new"));
        QCOMPARE(readBytes(other), QByteArray("old contents"));
        QCOMPARE(readBytes(path), QByteArray("new"));
    }

    void failureHalfWayLeavesTheOldFileAndNoTemporaryFile()
    {
        QVERIFY(writeBytes(path, "[Data]\r\nDOMAIN=old\r\n"));
        bool written = true;
        {
            const FileSizeLimit diskFullAfter(7);
            written = writeFileAtomically(path, QByteArray(4096, 'x'));
        }
        QVERIFY(!written);
        QCOMPARE(readBytes(path), QByteArray("[Data]\r\nDOMAIN=old\r\n"));
        QCOMPARE(entries(temp.path()), QStringList { QStringLiteral("data.ini") });
    }

    void symbolicLinkIsFollowed()
    {
        const QString target = temp.filePath(QStringLiteral("real.ini"));
        QVERIFY(writeBytes(target, "old"));
        QVERIFY(QFile::link(target, path));
        QVERIFY(writeFileAtomically(path, "new"));
        QVERIFY(QFileInfo(path).isSymLink());
        QCOMPARE(readBytes(target), QByteArray("new"));
    }

    // As fs.protected_symlinks would: in a sticky folder everyone may write (/tmp), only a link of
    // ours or of the folder's owner is followed, by an export and by the settings writer alike.
    void linkInAStickyFolderIsFollowedOnlyWhenOursOrTheFolderOwners_data()
    {
        addColumns<uid_t, uid_t, bool>({ "linkOwner", "folderOwner", "followed" });
        QTest::newRow("planted by another user") << uid_t(65534) << uid_t(0) << false;
        QTest::newRow("the folder owner's") << fileOwner << fileOwner << true;
        QTest::newRow("our own") << uid_t(0) << fileOwner << true;
    }
    void linkInAStickyFolderIsFollowedOnlyWhenOursOrTheFolderOwners()
    {
        if (::geteuid() != 0)
            QSKIP("links and folders of other users need root to set up (lchown), as in CI");
        QFETCH(uid_t, linkOwner);
        QFETCH(uid_t, folderOwner);
        QFETCH(bool, followed);
        const QString link = temp.filePath(QStringLiteral("list.csv"));
        const QString target = temp.filePath(QStringLiteral(".bashrc"));
        const QByteArray folder = QFile::encodeName(temp.path());
        QVERIFY(writeBytes(target, "victim's") && QFile::link(target, link));
        QVERIFY(::chown(folder.constData(), folderOwner, 0) == 0 && ::chmod(folder.constData(), 01777) == 0
            && ::lchown(QFile::encodeName(link).constData(), linkOwner, linkOwner) == 0);
        AtomicFile exported(link, { .inPlaceWhenNeeded = true, .regularFilesOnly = true });
        QCOMPARE(exported.open(QIODevice::WriteOnly), followed);
        QCOMPARE(writeFileAtomically(link, "settings"), followed);
        QCOMPARE(readBytes(target), QByteArray(followed ? "settings" : "victim's"));
        QVERIFY(QFileInfo(link).isSymLink());
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

    void existingFileKeepsItsOwnerGroupAndMode()
    {
        if (::geteuid() != 0)
            QSKIP("giving a file to another owner needs root, as in CI");
        QVERIFY(writeBytes(path, "old"));
        const QByteArray name = QFile::encodeName(path);
        QCOMPARE(::chown(name.constData(), fileOwner, otherUser), 0);
        QCOMPARE(::chmod(name.constData(), 0604), 0);
        const ino_t before = statOf(path).st_ino;
        QVERIFY(writeFileAtomically(path, "new"));
        const struct stat after = statOf(path);
        QCOMPARE(after.st_uid, fileOwner);
        QCOMPARE(after.st_gid, gid_t(otherUser));
        QCOMPARE(after.st_mode & 07777, mode_t(0604));
        QVERIFY(after.st_ino != before);
        QCOMPARE(readBytes(path), QByteArray("new"));
    }

    // Like /tmp: the writer may write another user's file but not rename over it, and must know
    // that before it writes anything.
    void anotherUsersFileInAStickyFolderIsWrittenInPlace()
    {
        if (::geteuid() != 0)
            QSKIP("the file of another user needs root to set up, as in CI");
        const QString file = othersFileInStickyFolder(temp.path(), fileOwner, "previous contents");
        QVERIFY(!file.isEmpty());
        const ino_t before = statOf(file).st_ino;

        const int refused = inChildProcess(otherUser, [&] {
            AtomicFile settings(file, { .ownerOnly = true, .inPlaceWhenNeeded = false });
            return settings.open(QIODevice::WriteOnly) ? 1 : settings.error() == EACCES ? 0 : 2;
        });
        QCOMPARE(refused, 0);
        QCOMPARE(readBytes(file), QByteArray("previous contents"));
        QCOMPARE(inChildProcess(otherUser, [&] { return writeFileAtomically(file, "settings") ? 0 : 1; }), 0);
        QCOMPARE(readBytes(file), QByteArray("settings"));

        QCOMPARE(inChildProcess(otherUser, [&] { return writeInPlace(file, "new"); }), 0);
        QCOMPARE(readBytes(file), QByteArray("new"));
        QCOMPARE(statOf(file).st_uid, fileOwner);
        QCOMPARE(statOf(file).st_ino, before);
        QCOMPARE(entries(QFileInfo(file).path()), QStringList { QStringLiteral("list.csv") });
    }

    void bindMountedFileIsWrittenInPlace()
    {
        QVERIFY(writeBytes(path, "underneath"));
        const QString source = temp.filePath(QStringLiteral("mounted.ini"));
        QVERIFY(writeBytes(source, "old"));
        const int result = inChildProcess(0, [&] {
            // A mount namespace of its own: the bind mount goes with the child.
            if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
                || ::mount(QFile::encodeName(source).constData(), QFile::encodeName(path).constData(), nullptr, MS_BIND,
                       nullptr)
                    != 0)
                return 125;
            return writeInPlace(path, "new");
        });
        if (result == 125)
            QSKIP("cannot bind-mount a file in a mount namespace of its own: needs root, as in CI");
        QCOMPARE(result, 0);
        QCOMPARE(readBytes(source), QByteArray("new"));
        QCOMPARE(readBytes(path), QByteArray("underneath"));
    }

    void deviceIsNotASettingsFileButIsWrittenInPlace()
    {
        QVERIFY(!writeFileAtomically(QStringLiteral("/dev/null"), "x"));
        QCOMPARE(writeInPlace(QStringLiteral("/dev/null"), "x"), 0);
    }

private:
    CaseFolder temp;
    QString path;
};

QTEST_GUILESS_MAIN(TestAtomicFile)
#include "test_AtomicFile.moc"
