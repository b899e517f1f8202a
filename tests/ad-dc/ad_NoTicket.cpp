// Connect against the Samba DC with no Kerberos ticket: the directory's error box, nothing
// connected, and the account and password fields never reach the server. A process of its own:
// the credential cache is chosen before anything asks Kerberos for one.
#include "AdDc.h"
#include "BrowserTests.h"
#include "directory/KerberosAdvice.h"
#include "directory/LdapErrors.h"

#include <QLineEdit>

using namespace browsertests;
using platform::MessageIcon;

class AdNoTicket : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        AD_DC_SKIP_UNLESS_RUNNING();
        // A cache that holds no ticket (a file that does not exist).
        qputenv("KRB5CCNAME", "FILE:" + QFile::encodeName(AdDc::runDirectory) + "/no-ticket/krb5cc");
    }

    void connectShowsTheDirectorysErrorAndStaysUnconnected()
    {
        const QString typedPassword = QStringLiteral("NoTicket-Passw0rd!");
        const auto window = openMainWindow(AdDc::domain, QStringLiteral("mivora-tester@example.test"), typedPassword);
        MessageRecorder recorder;
        const qsizetype logBefore = AdDc::dcLog().size();

        for (int attempt = 1; attempt <= 2; ++attempt) {
            recorder.boxes.clear();
            click(window->cmdConnect);

            QCOMPARE(recorder.boxes.size(), 1);
            const Box& box = recorder.boxes.constFirst();
            QCOMPARE(box.icon, MessageIcon::Critical);
            // The number of the failed bind (a local error of the client), a description that
            // says the ticket is missing and how to get one, the SASL library's words as details.
            const directory::DirectoryError localError = directory::errorFromLdap(-2 /* LDAP_LOCAL_ERROR */);
            const QString prefix = QString::number(localError.number()) + QStringLiteral("\r\n");
            const QString noTicket
                = directory::kerberosProblemText(QStringLiteral("No Kerberos credentials available"));
            QVERIFY(noTicket.contains(QStringLiteral("kinit")));
            QVERIFY2(box.text.startsWith(prefix + noTicket + QStringLiteral(" (詳細: ")), qPrintable(box.text));
            QVERIFY2(box.text.contains(QStringLiteral("GSSAPI")), qPrintable(box.text));
            // Not connected: the fields stay open for another try, and nothing is listed.
            QVERIFY(window->cmdConnect->isEnabled());
            QVERIFY(window->txtDomain->isEnabled());
            QVERIFY(window->txtAccount->isEnabled());
            QVERIFY(window->txtPassWord->isEnabled());
            QCOMPARE(rowCount(window->lvList), 0);
            QCOMPARE(currentCursor(), Qt::ArrowCursor);
        }

        // The server heard of neither the account nor the password.
        const QByteArray log = AdDc::dcLog().mid(logBefore);
        QVERIFY(!log.contains("mivora-tester@example.test"));
        QVERIFY(!log.contains(typedPassword.toUtf8()));
        QCOMPARE(AdDc::passwordBindsIn(log), QList<QByteArray>());
    }
};

QTEST_MAIN(AdNoTicket)
#include "ad_NoTicket.moc"
