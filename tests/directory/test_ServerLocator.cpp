// Which configured servers count as this machine's: what the probes' fixed binds may reach.
// Only literal addresses and localhost here, so that no name goes out to DNS.
#include "directory/ServerLocator.h"

#include <QTest>

using directory::urisOnThisMachine;

class TestServerLocator : public QObject {
    Q_OBJECT

private slots:
    void serversOnThisMachineAreKept_data()
    {
        QTest::addColumn<QString>("uri");
        QTest::newRow("ldapi socket") << "ldapi://%2Frun%2Fslapd%2Fldapi";
        QTest::newRow("127.0.0.1 with port") << "ldap://127.0.0.1:389";
        QTest::newRow("anywhere in 127/8") << "ldap://127.8.9.10";
        QTest::newRow("ldaps on ::1") << "ldaps://[::1]:636";
        QTest::newRow("IPv4-mapped loopback") << "ldap://[::ffff:127.0.0.1]";
        QTest::newRow("localhost") << "ldap://localhost:3890";
        QTest::newRow("no host") << "ldap:///";
        QTest::newRow("scheme in capitals") << "LDAP://127.0.0.1";
    }
    void serversOnThisMachineAreKept()
    {
        QFETCH(QString, uri);
        QCOMPARE(urisOnThisMachine(uri), uri);
    }

    void serversElsewhereAreDropped_data()
    {
        QTest::addColumn<QString>("uri");
        QTest::newRow("documentation address") << "ldap://192.0.2.1";
        QTest::newRow("private address with port") << "ldap://10.0.0.1:389";
        QTest::newRow("ldaps elsewhere") << "ldaps://198.51.100.7:636";
        QTest::newRow("IPv6 elsewhere") << "ldap://[2001:db8::1]";
        QTest::newRow("IPv4-mapped elsewhere") << "ldap://[::ffff:192.0.2.1]";
        QTest::newRow("any address") << "ldap://0.0.0.0";
        QTest::newRow("connectionless LDAP") << "cldap://127.0.0.1";
        QTest::newRow("not a URI") << "127.0.0.1";
        QTest::newRow("unknown scheme") << "http://127.0.0.1";
    }
    void serversElsewhereAreDropped()
    {
        QFETCH(QString, uri);
        QCOMPARE(urisOnThisMachine(uri), QString());
    }

    void aListKeepsOnlyItsLocalServersInOrder()
    {
        QCOMPARE(urisOnThisMachine(QStringLiteral(
                     "ldap://192.0.2.1 ldapi://%2Fx ldap://127.0.0.1:3890,ldap://198.51.100.7  ldaps://[::1]")),
            QStringLiteral("ldapi://%2Fx ldap://127.0.0.1:3890 ldaps://[::1]"));
        QCOMPARE(urisOnThisMachine(QString()), QString());
    }
};

QTEST_MAIN(TestServerLocator)
#include "test_ServerLocator.moc"
