// Connect through the main window with the test account's Kerberos ticket over each way ldap.conf
// can reach the DC: plain LDAP, ldaps:// and StartTLS. ctest runs this program once per way
// (MIVORA_TEST_TRANSPORT names it; LDAPCONF points at the DC's ldap.conf, ldaps.conf or
// starttls.conf). Over TLS the bind must ask for no SASL security layer, which Active
// Directory refuses inside TLS; on plain LDAP it must keep one. MIVORA_TEST_LEVEL names the DC's
// "ldap server require strong auth" (no, allow_sasl_without_tls_channel_bindings or yes): under
// yes only a bind with TLS channel bindings gets through, and on plain LDAP only a signed one.
// MIVORA_TEST_REFUSED_LINE is a line of the user's ldap.conf that takes the bindings out
// (SASL_CBINDING none) or the signing (SASL_SECPROPS maxssf=0): the bind must fail, in words.
#include "AdDc.h"
#include "BrowserTests.h"
#include "directory/HardenedDcAdvice.h"
#include "directory/LdapErrors.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QVersionNumber>
#include <ldap.h>

using namespace browsertests;

namespace {
const QString typedPassword = QStringLiteral("Transport-Passw0rd!");

// The run's way, level and refused line, from ctest.
const QString transport = qEnvironmentVariable("MIVORA_TEST_TRANSPORT");
const QString level = qEnvironmentVariable("MIVORA_TEST_LEVEL", QStringLiteral("no"));
const QByteArray refusedLine = qgetenv("MIVORA_TEST_REFUSED_LINE");
const bool withoutBindings = refusedLine.startsWith("SASL_CBINDING");

// The DC's lines about the test account or channel bindings (not the JSON copies), for the record.
void printDcLines(const QByteArray& log)
{
    for (const QByteArray& line : log.split('\n')) {
        if ((line.contains("mivora-tester") || line.contains("BINDINGS")) && !line.contains("{\"timestamp\""))
            qInfo("DC: %s", line.trimmed().constData());
    }
}

} // namespace

class AdGssapiTransports : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        AD_DC_SKIP_UNLESS_RUNNING();
        QVERIFY2(QStringList({ "ldap", "ldaps", "starttls" }).contains(transport), "MIVORA_TEST_TRANSPORT not set");
        QVERIFY(qgetenv("LDAPCONF").endsWith("/" + transport.toUtf8() + ".conf"));
        // Before Samba 4.20 no level checks channel bindings, and "yes" only signing.
        QFile version(AdDc::runDirectory + QStringLiteral("/samba-version"));
        QVERIFY(version.open(QIODevice::ReadOnly));
        const QString samba = QString::fromLatin1(version.readAll().trimmed());
        if (QVersionNumber::fromString(samba) < QVersionNumber(4, 20) && level != u"no"
            && (transport != u"ldap" || withoutBindings))
            QSKIP(qPrintable(QStringLiteral("AD tier skipped: Samba %1 never checks TLS channel bindings (4.20 and "
                                            "later do): level %2 over %3 would prove nothing")
                                 .arg(samba, level, transport)));
        if (!refusedLine.isEmpty()) {
            // libldap reads LDAPCONF on its first use, which comes after this.
            QFile conf(QString::fromLocal8Bit(qgetenv("LDAPCONF")));
            QFile own(temp.filePath(QStringLiteral("ldap.conf")));
            QVERIFY(conf.open(QIODevice::ReadOnly) && own.open(QIODevice::WriteOnly));
            own.write(conf.readAll() + refusedLine + '\n');
            qputenv("LDAPCONF", QFile::encodeName(own.fileName()));
        }
    }

    void withoutBindingsOrSigningTheBindFailsInWords()
    {
        if (refusedLine.isEmpty())
            QSKIP("only the runs that take the channel bindings or the signing out");
        const auto window = openMainWindow(AdDc::domain, QStringLiteral("field-probe"), typedPassword);
        MessageRecorder recorder;
        const qsizetype logBefore = AdDc::dcLog().size();
        click(window->cmdConnect);

        const QByteArray log = AdDc::dcLog().mid(logBefore);
        printDcLines(log);
        QVERIFY2(!withoutBindings || log.contains("GSS_S_BAD_BINDINGS"), log.constData());
        QCOMPARE(recorder.boxes.size(), 1);
        const QString text = recorder.boxes.first().text;
        qInfo("level %s over %s with %s: %s", qPrintable(level), qPrintable(transport), refusedLine.constData(),
            QString(text).replace(QStringLiteral("\r\n"), QStringLiteral(" | ")).toUtf8().constData());
        const int code = withoutBindings ? LDAP_INVALID_CREDENTIALS : LDAP_STRONG_AUTH_REQUIRED;
        const QString words = directory::hardenedDcText(
            code, withoutBindings ? QStringLiteral("80090346") : QStringLiteral("Sign or Seal are required"));
        QVERIFY2(text.startsWith(QString::number(directory::errorFromLdap(code).number()) + QStringLiteral("\r\n")
                     + words + QStringLiteral(" (サーバーからのメッセージ: ")),
            qPrintable(text));
        QVERIFY(window->cmdConnect->isEnabled());
        QVERIFY(listRows(window->lvList).isEmpty());
    }

    void connectListsTheRootWithAKerberosBindAndNoPassword()
    {
        if (!refusedLine.isEmpty())
            QSKIP("this run takes the channel bindings or the signing out");
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
        qInfo("level %s over %s: %d rows", qPrintable(level), qPrintable(transport), int(expected.size()));
        QCOMPARE(listRows(window->lvList), expected);

        const QByteArray log = AdDc::dcLog().mid(logBefore);
        printDcLines(log);
        QVERIFY2(log.contains("[LDAP,krb5] user [EXAMPLE]\\[mivora-tester]"), log.constData());
        QVERIFY(!log.contains(typedPassword.toUtf8()));
        QCOMPARE(AdDc::passwordBindsIn(log), QList<QByteArray>());
        // TLS alone protects the TLS sessions; plain LDAP is sealed by the SASL layer.
        const QStringList protections = AdDc::ldapProtectionsOfTheTester(log);
        QVERIFY2(!protections.isEmpty(), log.constData());
        for (const QString& protection : protections)
            QCOMPARE(protection, transport == u"ldap" ? QStringLiteral("SEAL") : QStringLiteral("TLS"));
    }

private:
    QTemporaryDir temp;
};

QTEST_MAIN(AdGssapiTransports)
#include "ad_GssapiTransports.moc"
