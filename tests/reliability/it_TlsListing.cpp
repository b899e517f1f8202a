// Listing over TLS, as ldap.conf sets it: ldaps:// with TLS_CACERT naming the test CA, and
// StartTLS asked for by the URI's critical extension. The bind is SASL EXTERNAL with the test
// client certificate, which the private server maps to the reader.

#include "BrowserTests.h"
#include "ScratchDirectoryServer.h"
#include "TestDirectory.h"
#include "TlsTransports.h"

#include <ldap.h>

using namespace browsertests;

class ItTlsListing : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(server.start(), qPrintable(server.lastError()));
        // Before anything in this process touches libldap: it reads its configuration once.
        // TLS_CERT and TLS_KEY are user-only options: the environment gives them.
        qputenv("LDAPCONF", QFile::encodeName(server.file(QStringLiteral("ldaps.conf"))));
        qputenv("LDAPTLS_CERT", QFile::encodeName(server.file(QStringLiteral("tls/client.pem"))));
        qputenv("LDAPTLS_KEY", QFile::encodeName(server.file(QStringLiteral("tls/client.key"))));
    }

    void init()
    {
        directory::setCurrentDirectory(nullptr);
        window = openMainWindow(TestDirectory::domain, QStringLiteral("someone"), QStringLiteral("secret"));
    }
    void cleanup()
    {
        window.reset();
        directory::setCurrentDirectory(nullptr);
    }

    void theConfiguredUriIsTheLdapsOne()
    {
        char* uri = nullptr;
        QCOMPARE(ldap_get_option(nullptr, LDAP_OPT_URI, &uri), LDAP_OPT_SUCCESS);
        const QString configured = QString::fromUtf8(uri);
        ldap_memfree(uri);
        QCOMPARE(configured, QStringLiteral("ldaps://127.0.0.1:%1").arg(server.tlsPort()));
    }

    void listingOverTlsWorks_data() { tlsTransportRows(server); }
    void listingOverTlsWorks()
    {
        QFETCH(QString, uri);
        useTlsTransportOfTheRow();
        MessageRecorder recorder;

        click(window->cmdConnect);
        QPersistentModelIndex root = topNode(window->tvNode, 0);
        QCOMPARE(recorder.boxes.size(), 0);
        QCOMPARE(childKeys(root).size(), TestDirectory::rootListing.size());
        // A listing of several pages through the read-ahead buffer under the TLS layer.
        clickNode(window->tvNode, childWithKey(root, TestDirectory::adsPath(TestDirectory::bulkOu)));

        QCOMPARE(recorder.boxes.size(), 0);
        QCOMPARE(rowCount(window->lvList), TestDirectory::bulkListedChildren);
        QCOMPARE(topNode(window->lvList, TestDirectory::bulkListedChildren - 1).data(Qt::UserRole).toString(),
            TestDirectory::adsPath(TestDirectory::bulkChildDn(TestDirectory::bulkListedChildren)));
        // The reader only reads through a connection that TLS protects and the certificate names.
        const QString log = server.serverLog();
        QVERIFY2(log.contains(QStringLiteral("TLS established")), qPrintable(log.right(2000)));
        QVERIFY2(log.contains(QStringLiteral("BIND authcid=\"cn=mivora reader,o=mivora test\"")),
            qPrintable(log.right(2000)));
        if (!uri.isEmpty()) {
            QVERIFY(log.contains(QStringLiteral("EXT oid=1.3.6.1.4.1.1466.20037")));
            QCOMPARE(ldap_set_option(nullptr, LDAP_OPT_URI,
                         QStringLiteral("ldaps://127.0.0.1:%1").arg(server.tlsPort()).toUtf8().constData()),
                LDAP_OPT_SUCCESS);
        }
    }

private:
    ScratchDirectoryServer server { ScratchDirectoryServer::Options { {}, {}, {}, true } };
    std::unique_ptr<frmMain> window;
};

QTEST_MAIN(ItTlsListing)
#include "it_TlsListing.moc"
