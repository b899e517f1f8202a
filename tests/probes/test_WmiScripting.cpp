// The WMI scripting stand-in: the local machine only, one query, and what it was asked for.
#include "BytesToTextCases.h"
#include "ErrorNumber.h"
#include "probes/Testing.h"
#include "probes/WmiScripting.h"

#include <QTest>
#include <climits>
#include <functional>
#include <unistd.h>

namespace wmi = probes::wmi;

namespace {
QString hostName()
{
    char name[HOST_NAME_MAX + 1] = {};
    ::gethostname(name, sizeof name - 1);
    return QString::fromLocal8Bit(name);
}

const QString cimv2 = QStringLiteral("root\\cimv2");
const QString loopback = QStringLiteral("127.0.0.1");
const auto wmiError = [](const auto& call) { return errorNumberOf<wmi::WmiError>(call); };
} // namespace

class TestWmiScripting : public QObject {
    Q_OBJECT

private slots:
    void init() { probes::testing::clearServersAskedFor(); }

    void onlyTheLocalMachineAnswersAndEveryServerAskedIsRecorded_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<int>("failure");
        const int unavailable = wmi::hresult::RpcServerUnavailable;
        QTest::newRow("ipv4 loopback") << "127.0.0.1" << 0;
        QTest::newRow("localhost") << "LocalHost" << 0;
        QTest::newRow("ipv6 loopback") << "[::1]" << 0;
        QTest::newRow("dot") << "." << 0;
        QTest::newRow("host name") << hostName() << 0;
        QTest::newRow("documentation address") << "192.0.2.1" << unavailable;
        QTest::newRow("domain name") << "example.test" << unavailable;
        QTest::newRow("localhost in a domain") << "localhost.example.test" << unavailable;
        QTest::newRow("not quite an address") << "127.0.0.1.example" << unavailable;
    }
    void onlyTheLocalMachineAnswersAndEveryServerAskedIsRecorded()
    {
        QFETCH(QString, server);
        QFETCH(int, failure);
        const wmi::SWbemLocator locator;
        QCOMPARE(wmiError([&] { locator.ConnectServer(server, cimv2, QStringLiteral("administrator"), {}); }), failure);
        QCOMPARE(probes::testing::serversAskedFor(probes::StandIn::Wmi), QStringList { server });
    }

    void onlyTheCimv2NamespaceIsServed()
    {
        const wmi::SWbemLocator locator;
        QCOMPARE(wmiError([&] { locator.ConnectServer(loopback, QStringLiteral("ROOT/CIMV2"), {}, {}); }), 0);
        QCOMPARE(wmiError([&] { locator.ConnectServer(loopback, QStringLiteral("root\\default"), {}, {}); }),
            wmi::hresult::InvalidNamespace);
    }

    void authenticationLevelTakesTheSevenLevelsOnly()
    {
        wmi::SWbemServices services = wmi::SWbemLocator().ConnectServer(loopback, cimv2, {}, {});
        services.Security_().setAuthenticationLevel(wmi::wbemAuthenticationLevelPktPrivacy);
        QCOMPARE(wmiError([&] { services.Security_().setAuthenticationLevel(7); }), wmi::hresult::InvalidParameter);
        QCOMPARE(wmiError([&] { services.Security_().setAuthenticationLevel(-1); }), wmi::hresult::InvalidParameter);
        QCOMPARE(services.Security_().authenticationLevel(), 6);
    }

    void theOperatingSystemQueryGivesOneObjectAndOthersFail()
    {
        const wmi::SWbemServices services = wmi::SWbemLocator().ConnectServer(loopback, cimv2, {}, {});
        const wmi::SWbemObjectSet result = services.ExecQuery(QStringLiteral("  SELECT *\tFROM win32_operatingsystem"));
        QCOMPARE(result.size(), size_t(1));
        QVERIFY(!result.front().Caption.isEmpty());
        for (const char* query : { "", "Select * From Win32_Process", "Select * From Win32_OperatingSystem Where 1" })
            QCOMPARE(wmiError([&] { services.ExecQuery(QString::fromLatin1(query)); }), wmi::hresult::InvalidQuery);
    }

    void prettyNameIsReadAsTheShellWouldReadIt_data()
    {
        bytesToTextColumns();
        QTest::newRow("double quotes") << QByteArray("NAME=\"x\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n")
                                       << "Debian GNU/Linux 12 (bookworm)";
        QTest::newRow("single quotes keep backslashes") << QByteArray("PRETTY_NAME='A \\ B'\n") << "A \\ B";
        QTest::newRow("escaped quote") << QByteArray("PRETTY_NAME=\"Say \\\"hi\\\"\"\r\n") << "Say \"hi\"";
        QTest::newRow("later wins") << QByteArray("PRETTY_NAME=First\nPRETTY_NAME=Second\n") << "Second";
        QTest::newRow("none") << QByteArray("NAME=x\nMY_PRETTY_NAME=y\n#PRETTY_NAME=z\n") << "Linux";
    }
    void prettyNameIsReadAsTheShellWouldReadIt() { bytesToTextCase(wmi::prettyNameFromOsRelease); }
};

QTEST_APPLESS_MAIN(TestWmiScripting)
#include "test_WmiScripting.moc"
