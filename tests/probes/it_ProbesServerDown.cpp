// The directory probes when the directory server cannot be reached, on a private server.
#include "ProbeTests.h"
#include "ScratchDirectoryServer.h"
#include "directory/LdapDirectory.h"

using namespace probetests;

class ItProbesServerDown : public ProbeSuite {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Before anything in this process touches libldap: it reads LDAPCONF once.
        QVERIFY2(server.startForThisProcess(), qPrintable(server.lastError()));
    }

    void command1ShowsNeitherBoxOnceTheServerIsDown()
    {
        probe->click(1);
        QCOMPARE(probe->boxes.size(), 2);
        QVERIFY2(server.stop(), qPrintable(server.lastError()));
        probe->boxes.clear();
        probe->click(1);
        QVERIFY(probe->boxes.isEmpty());
    }

    void command2StopsAtItsFirstBind()
    {
        QVERIFY(!server.isRunning());
        RecordingDirectory* recorder = RecordingDirectory::install(std::make_unique<directory::LdapDirectory>());
        probe->click(2);
        QCOMPARE(recorder->boundPaths, QStringList { "LDAP://DC=example,DC=test" });
        QCOMPARE(recorder->failedBinds, QStringList { "LDAP://DC=example,DC=test" });
        QVERIFY(recorder->enumerations.isEmpty());
        QVERIFY(probe->boxes.isEmpty());
    }

    void command3StopsAtOpenDSObject()
    {
        QVERIFY(!server.isRunning());
        RecordingDirectory* recorder = RecordingDirectory::install(std::make_unique<directory::LdapDirectory>());
        probe->click(3);
        QCOMPARE(recorder->opens.size(), 1);
        QVERIFY(recorder->opens.constFirst().failed);
        QVERIFY(recorder->enumerations.isEmpty());
        QVERIFY(probe->boxes.isEmpty());
    }

private:
    ScratchDirectoryServer server;
};

QTEST_MAIN(ItProbesServerDown)
#include "it_ProbesServerDown.moc"
