// The probe buttons of frmMain with what a real server cannot give: an in-memory directory
// that accepts the fixed account, failures at chosen steps, the INI file and the column widths.
#include "InMemoryDirectory.h"
#include "ProbeTests.h"
#include "TestFiles.h"
#include "ViewItems.h"
#include "platform/Testing.h"
#include "probes/Testing.h"

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QTreeView>

using namespace probetests;
using namespace viewitems;
using namespace testfiles;

namespace {
const QString rootDn = QStringLiteral("DC=example,DC=test");

// The domain root with children of several classes, one outside the five the browser lists.
std::unique_ptr<InMemoryDirectory> sampleDomain()
{
    auto directory = std::make_unique<InMemoryDirectory>();
    directory->add(rootDn, { "top", "domain", "domainDNS" });
    directory->add(QStringLiteral("CN=Users,") + rootDn, { "top", "container" });
    directory->add(QStringLiteral("OU=営業部,") + rootDn, { "top", "organizationalUnit" });
    directory->add(QStringLiteral("CN=取引先,") + rootDn, { "top", "contact" });
    return directory;
}
} // namespace

class TestProbeHandlers : public ProbeSuite {
    Q_OBJECT

private slots:

    void command7WithoutTheFileShowsErrorFramed()
    {
        probe->click(7);
        QCOMPARE(probe->boxes, QList<Box>({ { "@ERROR@", platform::MessageIcon::None } }));
        QVERIFY(!QFile::exists(probe->iniPath()));
    }

    void command8WritesHogeAndCommand7StillShowsError()
    {
        probe->click(8);
        QVERIFY(probe->boxes.isEmpty());
        QCOMPARE(readBytes(probe->iniPath()), QByteArray("[hoge]\r\nhoge=hoge\r\n"));
        probe->click(7);
        QCOMPARE(probe->texts(), QStringList { "@ERROR@" });
    }

    void command8ReplacesItsValueAndKeepsTheRest()
    {
        QVERIFY(writeBytes(probe->iniPath(), "[Data]\r\nUSERNAME=abc\r\n[hoge]\r\nhoge=old\r\nother=1\r\n"));
        probe->click(8);
        probe->click(8);
        QCOMPARE(
            readBytes(probe->iniPath()), QByteArray("[Data]\r\nUSERNAME=abc\r\n[hoge]\r\nhoge=hoge\r\nother=1\r\n"));
        probe->click(7);
        QCOMPARE(probe->texts(), QStringList { "@abc@" });
    }

    void probesFindTheirFileInAFolderCp932CannotName_data() { foldersCp932CannotNameRows(); }
    void probesFindTheirFileInAFolderCp932CannotName()
    {
        QFETCH(QString, folder);
        QVERIFY(probe->appDir.moveInto(folder));
        const QString ini = platform::appPath() + QStringLiteral("/larchfen.ini");
        QVERIFY(writeBytes(ini, "[Data]\r\nUSERNAME=abc\r\n"));
        probe->click(8);
        probe->click(7);
        QCOMPARE(probe->texts(), QStringList { "@abc@" });
        QCOMPARE(readBytes(ini), QByteArray("[Data]\r\nUSERNAME=abc\r\n[hoge]\r\nhoge=hoge\r\n"));
    }

    void command7ShowsTheStoredUserName_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("shown");
        QTest::newRow("empty value") << QByteArray("[Data]\r\nUSERNAME=\r\n") << "@@";
        QTest::newRow("japanese") << sjis(QStringLiteral("[Data]\r\nUSERNAME=山田\r\n")) << "@山田@";
        QTest::newRow("other key only") << QByteArray("[Data]\r\nNAME=abc\r\n") << "@ERROR@";
    }
    void command7ShowsTheStoredUserName()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, shown);
        QVERIFY(writeBytes(probe->iniPath(), content));
        probe->click(7);
        QCOMPARE(probe->texts(), QStringList { shown });
    }

    void command6ShowsTheThreeColumnWidthsInTwips()
    {
        QCOMPARE(probe->window->lvList->logicalDpiX(), 96);
        probe->click(6);
        const auto none = platform::MessageIcon::None;
        QCOMPARE(probe->boxes, QList<Box>({ { "540", none }, { "2970", none }, { "3270", none } }));
    }

    void command6ReadsTheWidthsAsTheyAreNow()
    {
        probe->window->lvList->header()->resizeSection(0, 50);
        probe->window->lvList->header()->resizeSection(2, 100);
        probe->click(6);
        QCOMPARE(probe->texts(), QStringList({ "750", "2970", "1500" }));
    }

    void command3RunsToItsEndWhereTheFixedAccountIsAccepted()
    {
        auto domain = sampleDomain();
        domain->acceptCredentials(QStringLiteral("administrator"), QStringLiteral("4821rum"));
        RecordingDirectory* recorder = RecordingDirectory::install(std::move(domain));
        probe->click(3);
        QCOMPARE(recorder->opens.size(), 1);
        QCOMPARE(recorder->opens.at(0).path, QStringLiteral("LDAP://DC=example,DC=test"));
        QVERIFY(!recorder->opens.at(0).failed);
        QCOMPARE(recorder->enumerations.size(), 1);
        QCOMPARE(recorder->enumerations.at(0).classFilter, QStringList());
        // The contact too: nothing filters the probe's enumeration.
        QCOMPARE(recorder->enumerations.at(0).children, 3);
        QVERIFY(probe->boxes.isEmpty());
    }

    void command3StopsAtOpenDSObjectWhenTheAccountIsRefused()
    {
        auto domain = sampleDomain();
        domain->acceptCredentials(QStringLiteral("administrator"), QStringLiteral("Passw0rd"));
        InMemoryDirectory* memory = domain.get();
        directory::setCurrentDirectory(std::move(domain));
        probe->click(3);
        QVERIFY(memory->boundPaths().isEmpty());
        QCOMPARE(memory->enumerationCount(), 0);
        QVERIFY(probe->boxes.isEmpty());
    }

    void command2StopsAtItsFirstBindWhenTheServerIsDown()
    {
        auto domain = sampleDomain();
        domain->failBind(rootDn,
            directory::DirectoryError(directory::hresult::ServerDown, QStringLiteral("サーバーが動作していません。")));
        InMemoryDirectory* memory = domain.get();
        directory::setCurrentDirectory(std::move(domain));
        probe->click(2);
        QCOMPARE(memory->boundPaths(), QStringList { "LDAP://DC=example,DC=test" });
        QCOMPARE(memory->enumerationCount(), 0);
        QVERIFY(probe->boxes.isEmpty());
    }

    void command4And5AskThisMachineOnly()
    {
        probes::testing::clearServersAskedFor();
        probe->click(4);
        probe->click(5);
        QCOMPARE(probes::testing::serversAskedFor(probes::StandIn::Wmi), QStringList { "127.0.0.1" });
        QCOMPARE(probes::testing::serversAskedFor(probes::StandIn::WinNt), QStringList { "localhost" });
        QVERIFY(probe->boxes.isEmpty());
    }

    void noProbeChangesTheMousePointerOrTheBrowser()
    {
        directory::setCurrentDirectory(sampleDomain());
        probe->window->txtDomain->setText(QStringLiteral("corp.example"));
        for (int n = 1; n <= 8; ++n)
            probe->click(n);
        QCOMPARE(currentCursor(), Qt::ArrowCursor);
        QCOMPARE(probe->window->txtDomain->text(), QStringLiteral("corp.example"));
        QCOMPARE(rowCount(probe->window->tvNode), 0);
        QCOMPARE(rowCount(probe->window->lvList), 0);
    }
};

QTEST_MAIN(TestProbeHandlers)
#include "test_ProbeHandlers.moc"
