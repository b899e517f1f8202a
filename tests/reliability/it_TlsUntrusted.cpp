// A server whose certificate ldap.conf does not trust: TLS_CACERT names a CA that did not sign
// it. The connection is refused before any request, with an error that says why.

#include "BrowserTests.h"
#include "ScratchDirectoryServer.h"
#include "TestDirectory.h"
#include "TlsTransports.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <ldap.h>

using namespace browsertests;

namespace {
// The request lines slapd logged for connections over TCP ("conn=N op=M BIND ..."); the
// start script's own check of the server comes over ldapi.
QStringList requestsOverTcp(const QString& log)
{
    static const QRegularExpression accept(QStringLiteral("conn=(\\d+) fd=\\d+ ACCEPT from IP="));
    QStringList connections;
    for (const QRegularExpressionMatch& match : accept.globalMatch(log))
        connections.append(match.captured(1));
    return log.split(u'\n').filter(QRegularExpression(QStringLiteral("conn=(%1) op=").arg(connections.join(u'|'))));
}
} // namespace

class ItTlsUntrusted : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(server.start(), qPrintable(server.lastError()));
        QVERIFY(scratch.isValid());
        const QString conf = scratch.filePath(QStringLiteral("ldap.conf"));
        QVERIFY(testfiles::writeBytes(conf,
            QStringLiteral("URI ldaps://127.0.0.1:%1\nBASE DC=example,DC=test\nSASL_MECH EXTERNAL\n"
                           "TLS_CACERT %2\nTLS_REQCERT demand\n")
                .arg(server.tlsPort())
                .arg(server.file(QStringLiteral("tls/other-ca.pem")))
                .toUtf8()));
        qputenv("LDAPCONF", QFile::encodeName(conf));
        qputenv("LDAPTLS_CERT", QFile::encodeName(server.file(QStringLiteral("tls/client.pem"))));
        qputenv("LDAPTLS_KEY", QFile::encodeName(server.file(QStringLiteral("tls/client.key"))));
    }

    void cleanup() { directory::setCurrentDirectory(nullptr); }

    void anUntrustedCertificateFailsWithAClearErrorAndReadsNothing_data() { tlsTransportRows(server); }
    void anUntrustedCertificateFailsWithAClearErrorAndReadsNothing()
    {
        useTlsTransportOfTheRow();
        std::unique_ptr<frmMain> window
            = openMainWindow(TestDirectory::domain, QStringLiteral("someone"), QStringLiteral("secret"));
        MessageRecorder recorder;

        click(window->cmdConnect);

        QCOMPARE(recorder.boxes.size(), 1);
        const QString text = recorder.boxes.constFirst().text;
        QVERIFY2(text.startsWith(QString::number(directory::hresult::ServerDown) + QStringLiteral("\r\n")),
            qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("TLS")) && text.contains(QStringLiteral("証明書")), qPrintable(text));
        QCOMPARE(currentCursor(), Qt::ArrowCursor);
        QCOMPARE(rowCount(window->tvNode), 1);
        QCOMPARE(childCount(topNode(window->tvNode, 0)), 0);
        QCOMPARE(rowCount(window->lvList), 0);
        QVERIFY(window->cmdConnect->isEnabled());
        // The server saw the connection and no request on it but StartTLS itself (for slapd the
        // handshake completes: the client checks the certificate and hangs up).
        const QString log = server.serverLog();
        const QStringList requests = requestsOverTcp(log);
        QVERIFY2(log.contains(QStringLiteral("ACCEPT from IP=127.0.0.1")), qPrintable(log.right(2000)));
        QCOMPARE(requests.filter(QStringLiteral(" BIND ")), QStringList());
        QCOMPARE(requests.filter(QStringLiteral(" SRCH ")), QStringList());
    }

    void theSameServerListsForAClientThatTrustsItsCa()
    {
        // The server itself is sound: ldapsearch with the right CA reads the root.
        QProcess ldapsearch;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("LDAPTLS_CACERT"), server.file(QStringLiteral("tls/ca.pem")));
        ldapsearch.setProcessEnvironment(environment);
        ldapsearch.start(QStringLiteral("ldapsearch"),
            { QStringLiteral("-Q"), QStringLiteral("-LLL"), QStringLiteral("-H"),
                QStringLiteral("ldaps://127.0.0.1:%1").arg(server.tlsPort()), QStringLiteral("-s"),
                QStringLiteral("base"), QStringLiteral("-b"), TestDirectory::base, QStringLiteral("1.1") });
        QVERIFY(ldapsearch.waitForFinished(30000));
        QCOMPARE(ldapsearch.exitCode(), 0);
        QVERIFY(ldapsearch.readAllStandardOutput().contains("dn: dc=example,dc=test"));
    }

private:
    ScratchDirectoryServer server { ScratchDirectoryServer::Options { {}, {}, {}, true } };
    QTemporaryDir scratch;
};

QTEST_MAIN(ItTlsUntrusted)
#include "it_TlsUntrusted.moc"
