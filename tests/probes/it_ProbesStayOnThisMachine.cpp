// The probes' fixed binds against an ldap.conf that names a server off this machine: in a
// network namespace of the test's own, dc1.example.test is 192.0.2.1, where a relay in front of
// the test directory records whatever arrives. Second in the URI list, a relay on 127.0.0.1.
#include "DataTable.h"
#include "LdapRelay.h"
#include "PrivateNetwork.h"
#include "ProbeTests.h"
#include "ScriptedLdapServer.h"
#include "TestDirectory.h"
#include "TlsTransports.h"
#include "directory/LdapDirectory.h"
#include "directory/LdapErrors.h"
#include "directory/ServerLocator.h"

#include <QFile>
#include <QUrl>

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

// A DNS server on 127.0.0.1:53 whose answer changes: the first A question gets 127.0.0.1, every
// later one 127.0.0.3 (loopback too, standing for a server elsewhere); others get no record.
struct RebindingDns {
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    int answered = 0;
    std::thread thread;

    bool start()
    {
        const sockaddr_in in { AF_INET, htons(53), { htonl(INADDR_LOOPBACK) }, {} };
        if (::bind(fd, reinterpret_cast<const sockaddr*>(&in), sizeof(in)) != 0)
            return false;
        thread = std::thread([this] {
            QByteArray query(512, '\0');
            sockaddr_in peer {};
            socklen_t length = sizeof(peer);
            for (ssize_t size = 0;
                 (size = ::recvfrom(fd, query.data(), query.size(), 0, reinterpret_cast<sockaddr*>(&peer), &length))
                 > 0;) {
                // The header, then the question (a name up to its root label, type and class).
                QByteArray reply = query.left(size);
                reply.truncate(reply.indexOf('\0', 12) + 5);
                const bool a = reply.size() > 16 && reply.endsWith(QByteArray("\0\1\0\1", 4));
                reply.replace(2, 10, QByteArray("\x85\x80\0\1\0", 5) + char(a) + QByteArray(4, '\0'));
                if (a)
                    reply += QByteArray("\xc0\x0c\0\1\0\1\0\0\0\0\0\4\x7f\0\0", 15) + char(answered++ ? 3 : 1);
                ::sendto(fd, reply.constData(), size_t(reply.size()), 0, reinterpret_cast<sockaddr*>(&peer), length);
            }
        });
        return true;
    }
    ~RebindingDns()
    {
        // Wakes the blocked recvfrom, which then returns 0, also on a UDP socket.
        ::shutdown(fd, SHUT_RDWR);
        if (thread.joinable())
            thread.join();
        ::close(fd);
    }
};

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
        QVERIFY2(tls.start(), qPrintable(tls.lastError()));
        QFile conf(scratch.filePath(QStringLiteral("ldap.conf")));
        QVERIFY(conf.open(QIODevice::WriteOnly));
        conf.write(QStringLiteral("URI ldap://%1:%2 ldap://127.0.0.1:%3\nBASE DC=example,DC=test\nTLS_CACERT %4\n")
                       .arg(remoteHost)
                       .arg(remote.port())
                       .arg(local.port())
                       .arg(tls.file(QStringLiteral("tls/ca.pem")))
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

    // A name whose DNS answer changes after the check (DNS rebinding): Command3's bind goes to the
    // address that was checked, never to the later answer. The certificate of the private slapd
    // names 127.0.0.1 (and localhost, which libldap checks as this host's name): TLS checks the
    // URI's host, not the address connected to. Last: it changes libldap's URI for good.
    void aNameAnsweredAgainOtherwiseDoesNotMoveTheFixedBind_data()
    {
        addColumns<QString, bool>({ "uri", "tlsRefused" });
        QTest::newRow("ldap") << QStringLiteral("ldap://rebind.test:%1").arg(local.port()) << false;
        QTest::newRow("ldaps") << QStringLiteral("ldaps://rebind.test:%1").arg(tls.tlsPort()) << true;
        QTest::newRow("StartTLS") << QStringLiteral("ldap://rebind.test:%1/???\?!StartTLS").arg(tls.port()) << true;
        QTest::newRow("ldaps, the certificate's address")
            << QStringLiteral("ldaps://127.0.0.1:%1").arg(tls.tlsPort()) << false;
    }
    void aNameAnsweredAgainOtherwiseDoesNotMoveTheFixedBind()
    {
        QFETCH(QString, uri);
        QFETCH(bool, tlsRefused);
        RebindingDns dns;
        QVERIFY(dns.start());
        CountingListener elsewhere;
        QVERIFY(elsewhere.start(QStringLiteral("127.0.0.3"), quint16(QUrl(uri).port())));
        useTlsTransportOfTheRow();
        const directory::ThisMachineOnly onlyHere;
        try {
            directory::currentDirectory().openDSObject(QStringLiteral("LDAP://DC=example,DC=test"),
                QStringLiteral("administrator"), QStringLiteral("4821rum"));
            QFAIL("the fixed account was taken");
        } catch (const directory::DirectoryError& error) {
            // Else a server refused the account, which it could only do on 127.0.0.1.
            QCOMPARE(error.description() == directory::tlsHandshakeError().description(), tlsRefused);
            QVERIFY2(tlsRefused || error.number() != directory::hresult::ServerDown, qPrintable(error.description()));
        }
        QCOMPARE(elsewhere.connectionCount(), 0);
    }

private:
    PrivateNetwork network;
    ScratchDirectoryServer tls;
    LdapRelay remote;
    LdapRelay local;
    QTemporaryDir scratch;
};

QTEST_MAIN(ItProbesStayOnThisMachine)
#include "it_ProbesStayOnThisMachine.moc"
