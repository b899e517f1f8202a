#include "ErrorNumber.h"
#include "ScratchDirectoryServer.h"

#include "directory/LdapDirectory.h"

#include <QTest>

using directory::DirectoryError;
using directory::LdapDirectory;

namespace {
const QString root = QStringLiteral("LDAP://DC=example,DC=test");

} // namespace

// A private server, so stopping it leaves the shared test directory alone.
class ItServerRestart : public QObject {
    Q_OBJECT
    ScratchDirectoryServer server;

private slots:
    void initTestCase() { QVERIFY2(server.startForThisProcess(), qPrintable(server.lastError())); }

    void aStoppedServerFailsTheNextBindAndARestartedOneServesIt()
    {
        LdapDirectory directory;
        directory.bind(root);
        QCOMPARE(directory.openConnectionCount(), 1);

        QVERIFY(server.stop());
        QCOMPARE(errorNumberOf<DirectoryError>([&] { directory.bind(root); }), directory::hresult::ServerDown);
        QCOMPARE(errorNumberOf<DirectoryError>([&] { directory.bind(root); }), directory::hresult::ServerDown);

        QVERIFY2(server.restart(), qPrintable(server.lastError()));
        QCOMPARE(directory.bind(root).className(), QStringLiteral("domainDNS"));
        QCOMPARE(directory.openConnectionCount(), 1);
    }

    void aServerRestartedBetweenBindsIsNoticedWithoutAFailure()
    {
        LdapDirectory directory;
        directory.bind(root);
        QVERIFY(server.stop());
        QVERIFY2(server.restart(), qPrintable(server.lastError()));
        // The cached connection was closed by the old server: the bind opens a new one.
        QCOMPARE(directory.bind(root).className(), QStringLiteral("domainDNS"));
    }

    void aKilledServerIsAnErrorNotADeadProcess()
    {
        LdapDirectory directory;
        const directory::DirObject big = directory.bind(QStringLiteral("LDAP://ou=大量,dc=example,dc=test"));
        QVERIFY(server.kill());
        // Writing to the closed socket must not raise SIGPIPE.
        QCOMPARE(errorNumberOf<DirectoryError>(
                     [&] { directory.enumerate(big, {}, [](const directory::Directory::Batch&) {}); }),
            directory::hresult::ServerDown);
        const auto results = directory.readEach({ root, root }, QStringLiteral("cn"));
        QVERIFY(results.at(0).error && results.at(1).error);
        QCOMPARE(results.at(1).error->number(), directory::hresult::ServerDown);
        QVERIFY2(server.restart(), qPrintable(server.lastError()));
        QCOMPARE(directory.bind(root).className(), QStringLiteral("domainDNS"));
    }
};

QTEST_APPLESS_MAIN(ItServerRestart)
#include "it_ServerRestart.moc"
