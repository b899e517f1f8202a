// The WinNT provider stand-in: the local computer's user accounts, nothing beyond the machine.
#include "ErrorNumber.h"
#include "probes/Testing.h"
#include "probes/WinNtProvider.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <functional>

namespace winnt = probes::winnt;
using probes::testing::serversAskedFor;
constexpr auto winNt = probes::StandIn::WinNt;

namespace {
const QByteArray samplePasswd = "root:x:0:0:root:/root:/bin/bash\n"
                                "daemon:x:1:1:daemon:/usr/sbin:/usr/sbin/nologin\n"
                                "sysacct:x:999:999::/:/usr/sbin/nologin\n"
                                "alice:x:1000:1000:Alice,,,:/home/alice:/bin/bash\n"
                                "not a passwd line\n"
                                "+nisuser::::::\n"
                                "bob:x:60000:60000::/home/bob:/bin/sh\n"
                                "carol:x:60001:60001::/home/carol:/bin/sh\n"
                                "nobody:x:65534:65534:nobody:/nonexistent:/usr/sbin/nologin\n"
                                "山田:x:1001:1001::/home/yamada:/bin/bash\n";
const auto directoryError = [](const auto& call) { return errorNumberOf<directory::DirectoryError>(call); };
} // namespace

class TestWinNtProvider : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(temp.isValid());
        probes::testing::clearServersAskedFor();
        write(passwd, samplePasswd);
        QFile::remove(loginDefs);
    }

    void localAccountsAreRootAndThePeopleRange()
    {
        const std::vector<QString> names = winnt::localAccountNames(passwd, loginDefs);
        QCOMPARE(QStringList(names.begin(), names.end()), QStringList({ "root", "alice", "bob", "山田" }));
    }

    void loginDefsMovesTheRange()
    {
        write(loginDefs, "# UID_MIN 1\nUID_MIN\t\t 900\nUID_MAX 0xEA61\n");
        const std::vector<QString> names = winnt::localAccountNames(passwd, loginDefs);
        QCOMPARE(QStringList(names.begin(), names.end()),
            QStringList({ "root", "sysacct", "alice", "bob", "carol", "山田" }));
    }

    void aLineLongerThanTheFirstBufferIsStillRead()
    {
        write(passwd,
            "long:x:1000:1000:" + QByteArray(20000, 'g') + ":/home/long:/bin/sh\nafter:x:1002:1002::/:/bin/sh\n");
        const std::vector<QString> names = winnt::localAccountNames(passwd, loginDefs);
        QCOMPARE(QStringList(names.begin(), names.end()), QStringList({ "long", "after" }));
    }

    void localhostListsItsUsersThroughTheUserFilter()
    {
        winnt::Computer computer
            = winnt::bindNamespace(QStringLiteral("WinNT:"), { passwd, loginDefs })
                  .OpenDSObject(QStringLiteral("WinNT://localhost"), QStringLiteral("localhost\\\\\\\\administrator"),
                      QStringLiteral("4821rum"), 1);
        computer.setFilter({ QStringLiteral("user") });
        const std::vector<winnt::User> users = computer.children();
        QCOMPARE(users.size(), size_t(4));
        QCOMPARE(users.at(1).Name, QStringLiteral("alice"));
        QCOMPARE(users.at(1).ADsPath, QStringLiteral("WinNT://localhost/alice"));
        computer.setFilter({ QStringLiteral("Group") });
        QVERIFY(computer.children().empty());
        QCOMPARE(serversAskedFor(winNt), QStringList { "localhost" });
    }

    void otherComputersAreNotReachedButRecorded()
    {
        const winnt::Namespace provider = winnt::bindNamespace(QStringLiteral("WinNT:"));
        for (const char* path : { "WinNT://192.0.2.1", "WinNT://example.test" })
            QCOMPARE(directoryError([&] { provider.OpenDSObject(QString::fromLatin1(path), {}, {}, 1); }),
                winnt::BadNetPath);
        QCOMPARE(serversAskedFor(winNt), QStringList({ "192.0.2.1", "example.test" }));
    }

    void malformedPathsFailBeforeAnyServerIsAsked()
    {
        const winnt::Namespace provider = winnt::bindNamespace(QStringLiteral("WinNT:"));
        for (const char* path : { "WinNT://", "winnt://localhost", "WinNT://WORKGROUP/localhost" })
            QCOMPARE(directoryError([&] { provider.OpenDSObject(QString::fromLatin1(path), {}, {}, 1); }),
                directory::hresult::BadPathName);
        QCOMPARE(
            directoryError([] { winnt::bindNamespace(QStringLiteral("LDAP:")); }), directory::hresult::BadPathName);
        QVERIFY(serversAskedFor(winNt).isEmpty());
    }

private:
    static void write(const QString& path, const QByteArray& bytes)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(bytes), bytes.size());
    }

    QTemporaryDir temp;
    const QString passwd = temp.filePath(QStringLiteral("passwd"));
    const QString loginDefs = temp.filePath(QStringLiteral("login.defs"));
};

QTEST_APPLESS_MAIN(TestWinNtProvider)
#include "test_WinNtProvider.moc"
