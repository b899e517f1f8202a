// The Kerberos bind, as ldap.conf's SASL_MECH GSSAPI asks for it, without a ticket: it fails
// with one error box, and neither the login fields nor anything else of the user's is sent.

#include "BrowserTests.h"
#include "RelayFixture.h"
#include "TestDirectory.h"
#include "platform/Cp932.h"

#include <memory>

using namespace browsertests;

class ItGssapiSendsNoPassword : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(fixture.start(QStringLiteral("GSSAPI")), qPrintable(fixture.lastError()));
        // No ticket cache and no realm: nothing may reach a KDC either.
        qputenv("KRB5CCNAME",
            QFile::encodeName(QStringLiteral("FILE:") + fixture.scratch.filePath(QStringLiteral("no-ccache"))));
        qputenv("KRB5_CONFIG", "/dev/null");
    }

    void aBindWithoutATicketFailsAndSendsNoPassword()
    {
        const QString password = QStringLiteral("Mv-ケルベロス-Pw9");
        const QString account = QStringLiteral("kerberos-account-7");
        std::unique_ptr<frmMain> window = openMainWindow(TestDirectory::domain, account, password);
        MessageRecorder recorder;

        click(window->cmdConnect);

        QCOMPARE(recorder.boxes.size(), 1);
        const QString text = recorder.boxes.constFirst().text;
        QVERIFY2(text.contains(QStringLiteral("\r\n")) && text.section(QStringLiteral("\r\n"), 0, 0).toInt() < 0,
            qPrintable(text));
        // The reason is the SASL library's, on this side, and is not passed off as the server's.
        QVERIFY2(text.contains(QStringLiteral("GSSAPI")), qPrintable(text));
        QVERIFY2(!text.contains(QStringLiteral("サーバーからのメッセージ")), qPrintable(text));
        QCOMPARE(currentCursor(), Qt::ArrowCursor);
        QCOMPARE(childCount(topNode(window->tvNode, 0)), 0);
        const QByteArray sent = fixture.relay.sent();
        const QByteArray utf16(reinterpret_cast<const char*>(password.utf16()), password.size() * 2);
        for (const QByteArray& bytes : { password.toUtf8(), utf16, platform::toAnsi(password), account.toUtf8() })
            QVERIFY(!sent.contains(bytes));
        // Whatever went out is a SASL GSSAPI bind or the unbind that drops the connection; no read.
        for (const LdapRelay::Request& request : fixture.relay.requests()) {
            // toString hands over a new[] buffer; QVERIFY2 would leak it.
            const std::unique_ptr<char[]> shown(QTest::toString(request));
            QVERIFY2(request.operation == 0x60 || request.operation == 0x42, shown.get());
            if (request.operation == 0x60) {
                QVERIFY(!request.simpleBind);
                QCOMPARE(request.mechanism, QByteArray("GSSAPI"));
            }
        }
        qInfo("%s; %d bytes sent", qPrintable(text), int(sent.size()));
    }

private:
    RelayFixture fixture;
};

QTEST_MAIN(ItGssapiSendsNoPassword)
#include "it_GssapiSendsNoPassword.moc"
