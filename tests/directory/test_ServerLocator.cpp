// Which configured servers count as this machine's: what the probes' fixed binds may reach.
// Only literal addresses and localhost here, so that no name goes out to DNS.
#include "DataTable.h"
#include "directory/ServerLocator.h"

#include <QTest>

using directory::urisOnThisMachine;

class TestServerLocator : public QObject {
    Q_OBJECT

private slots:
    void serversOnThisMachineAreKept_data()
    {
        oneColumn<QString>("uri",
            {
                { "ldapi socket", "ldapi://%2Frun%2Fslapd%2Fldapi" },
                { "127.0.0.1 with port", "ldap://127.0.0.1:389" },
                { "anywhere in 127/8", "ldap://127.8.9.10" },
                { "ldaps on ::1", "ldaps://[::1]:636" },
                { "IPv4-mapped loopback", "ldap://[::ffff:127.0.0.1]" },
                { "localhost", "ldap://localhost:3890" },
                { "no host", "ldap:///" },
                { "scheme in capitals", "LDAP://127.0.0.1" },
            });
    }
    void serversOnThisMachineAreKept()
    {
        QFETCH(QString, uri);
        QCOMPARE(urisOnThisMachine(uri), uri);
    }

    void serversElsewhereAreDropped_data()
    {
        oneColumn<QString>("uri",
            {
                { "documentation address", "ldap://192.0.2.1" },
                { "private address with port", "ldap://10.0.0.1:389" },
                { "ldaps elsewhere", "ldaps://198.51.100.7:636" },
                { "IPv6 elsewhere", "ldap://[2001:db8::1]" },
                { "IPv4-mapped elsewhere", "ldap://[::ffff:192.0.2.1]" },
                { "any address", "ldap://0.0.0.0" },
                { "connectionless LDAP", "cldap://127.0.0.1" },
                { "not a URI", "127.0.0.1" },
                { "unknown scheme", "http://127.0.0.1" },
            });
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
