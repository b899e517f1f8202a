// Connect through the main window with the test account's Kerberos ticket over each way ldap.conf
// can reach the DC: plain LDAP, ldaps:// and StartTLS. ctest runs this program once per way
// (MIVORA_TEST_TRANSPORT names it; LDAPCONF points at the DC's ldap.conf, ldaps.conf or
// starttls.conf). Over TLS the bind must ask for no SASL security layer, which Active
// Directory refuses inside TLS; on plain LDAP it must keep one.
#include "AdDc.h"
#include "BrowserTests.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>

using namespace browsertests;

namespace {
const QString typedPassword = QStringLiteral("Transport-Passw0rd!");

QString transport()
{
    return QString::fromLocal8Bit(qgetenv("MIVORA_TEST_TRANSPORT"));
}

} // namespace

class AdGssapiTransports : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        AD_DC_SKIP_UNLESS_RUNNING();
        QVERIFY2(QStringList({ "ldap", "ldaps", "starttls" }).contains(transport()), "MIVORA_TEST_TRANSPORT not set");
        QVERIFY(qgetenv("LDAPCONF").endsWith("/" + transport().toUtf8() + ".conf"));
    }

    void connectListsTheRootWithAKerberosBindAndNoPassword()
    {
        const auto window = openMainWindow(AdDc::domain, QStringLiteral("field-probe"), typedPassword);
        MessageRecorder recorder;
        // What ldapsearch lists over plain LDAP with the same ticket (before anything here reads
        // ldap.conf, and before the part of the DC's log that is checked).
        const QByteArray conf = qgetenv("LDAPCONF");
        qputenv("LDAPCONF", QFile::encodeName(AdDc::runDirectory) + "/ldap.conf");
        const QList<Row> expected = rowsFor(serverChildren(AdDc::base));
        qputenv("LDAPCONF", conf);
        QVERIFY(expected.size() >= 6);
        const qsizetype logBefore = AdDc::dcLog().size();

        click(window->cmdConnect);

        QVERIFY2(recorder.boxes.isEmpty(), qPrintable(recorder.boxes.value(0).text));
        QVERIFY(!window->cmdConnect->isEnabled());
        QCOMPARE(listRows(window->lvList), expected);

        const QByteArray log = AdDc::dcLog().mid(logBefore);
        QVERIFY2(log.contains("[LDAP,krb5] user [EXAMPLE]\\[mivora-tester]"), log.constData());
        QVERIFY(!log.contains(typedPassword.toUtf8()));
        QCOMPARE(AdDc::passwordBindsIn(log), QList<QByteArray>());
        // TLS alone protects the TLS sessions; plain LDAP is sealed by the SASL layer.
        const QStringList protections = AdDc::ldapProtectionsOfTheTester(log);
        QVERIFY2(!protections.isEmpty(), log.constData());
        for (const QString& protection : protections)
            QCOMPARE(protection, transport() == u"ldap" ? QStringLiteral("SEAL") : QStringLiteral("TLS"));
    }
};

QTEST_MAIN(AdGssapiTransports)
#include "ad_GssapiTransports.moc"
