// The probes' fixed binds against an ldap.conf that names a server off this machine: in a
// network namespace of the test's own, dc1.example.test is 192.0.2.1, where a relay in front of
// the test directory records whatever arrives. Second in the URI list, a relay on 127.0.0.1.
#include "LdapRelay.h"
#include "PrivateNetwork.h"
#include "ProbeTests.h"
#include "TestDirectory.h"
#include "directory/LdapDirectory.h"
#include "directory/ServerLocator.h"

#include <QFile>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace probetests;

namespace {

constexpr int bindOp = 0x60;
const QString remoteAddress = QStringLiteral("192.0.2.1");
const QString remoteHost = QStringLiteral("dc1.example.test");

// Connects to address:port and sends text; false when either fails.
bool sendTo(const QString& address, quint16 port, const QByteArray& text)
{
    sockaddr_in in {};
    in.sin_family = AF_INET;
    in.sin_port = htons(port);
    if (::inet_pton(AF_INET, address.toLatin1().constData(), &in.sin_addr) != 1)
        return false;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool sent = ::connect(fd, reinterpret_cast<const sockaddr*>(&in), sizeof(in)) == 0
        && ::send(fd, text.constData(), size_t(text.size()), MSG_NOSIGNAL) == text.size();
    ::close(fd);
    return sent;
}

} // namespace

class ItProbesStayOnThisMachine : public ProbeSuite {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!network.enter({ remoteAddress },
                "127.0.0.1 localhost\n::1 localhost\n" + remoteAddress.toLatin1() + ' ' + remoteHost.toLatin1() + '\n'))
            QSKIP(qPrintable(QStringLiteral("no private network: ") + network.lastError()));
        const QString upstream = QStringLiteral(MIVORA_TEST_DIRECTORY "/run/ldapi");
        QVERIFY2(remote.startTcp(remoteAddress, upstream), qPrintable(remote.lastError()));
        QVERIFY2(local.startTcp(QStringLiteral("127.0.0.1"), upstream), qPrintable(local.lastError()));
        QVERIFY(scratch.isValid());
        QFile conf(scratch.filePath(QStringLiteral("ldap.conf")));
        QVERIFY(conf.open(QIODevice::WriteOnly));
        conf.write(QStringLiteral("URI ldap://%1:%2 ldap://127.0.0.1:%3\nBASE DC=example,DC=test\n")
                       .arg(remoteHost)
                       .arg(remote.port())
                       .arg(local.port())
                       .toUtf8());
        conf.close();
        // Before anything in this process touches libldap: it reads LDAPCONF once.
        qputenv("LDAPCONF", QFile::encodeName(conf.fileName()));
    }

    // Without the restriction the first server of the list gets the bind: the relay off this
    // machine does see what is sent to it.
    void aBindWithoutTheRestrictionReachesTheRemoteRelay()
    {
        const int before = remote.requests().size();
        try {
            directory::currentDirectory().openDSObject(QStringLiteral("LDAP://DC=example,DC=test"),
                QStringLiteral("administrator"), QStringLiteral("4821rum"));
        } catch (const directory::DirectoryError&) {
            // slapd refuses the account; what counts is where the bind went.
        }
        const QList<LdapRelay::Request> requests = remote.requests().mid(before);
        QVERIFY(!requests.isEmpty());
        QCOMPARE(requests.constFirst().operation, bindOp);
        QVERIFY(requests.constFirst().simpleBind);
        QCOMPARE(requests.constFirst().dn, QByteArray("administrator"));
        QCOMPARE(requests.constFirst().credentials, QByteArray("4821rum"));
    }

    void theProbesSendNothingOffThisMachineAndBindTheLocalServer()
    {
        // The earlier case's connection ends with an unbind that may still be on its way.
        QTRY_COMPARE(remote.openConnectionCount(), 0);
        const int remoteConnections = remote.connectionCount();
        const QByteArray remoteBytes = remote.sent();
        const int localRequests = local.requests().size();
        for (const int n : { 1, 2, 3 })
            probe->click(n);
        QVERIFY(probe->boxes.isEmpty());

        // A connection the probes left in the backlog would be accepted before this one.
        QVERIFY(sendTo(remoteAddress, remote.port(), "fence"));
        QTRY_VERIFY(remote.sent().endsWith("fence"));
        QCOMPARE(remote.connectionCount(), remoteConnections + 1);
        QCOMPARE(remote.sent(), remoteBytes + "fence");

        // Command3's simple bind went to the server on 127.0.0.1 instead.
        bool fixedBind = false;
        for (const LdapRelay::Request& request : local.requests().mid(localRequests))
            fixedBind = fixedBind
                || (request.operation == bindOp && request.simpleBind && request.dn == "administrator"
                    && request.credentials == "4821rum");
        QVERIFY(fixedBind);
    }

    void aBindOffThisMachineFailsAsWithAnUnreachableServer()
    {
        const QByteArray remoteBytes = remote.sent();
        const directory::ThisMachineOnly onlyHere;
        directory::LdapDirectory ldap;
        try {
            ldap.openDSObject(QStringLiteral("LDAP://%1:%2/DC=example,DC=test").arg(remoteHost).arg(remote.port()),
                QStringLiteral("administrator"), QStringLiteral("4821rum"));
            QFAIL("the bind was not refused");
        } catch (const directory::DirectoryError& error) {
            QCOMPARE(error.number(), static_cast<int32_t>(0x8007203A));
        }
        QCOMPARE(remote.sent(), remoteBytes);
    }

private:
    PrivateNetwork network;
    LdapRelay remote;
    LdapRelay local;
    QTemporaryDir scratch;
};

QTEST_MAIN(ItProbesStayOnThisMachine)
#include "it_ProbesStayOnThisMachine.moc"
