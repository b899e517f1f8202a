// Connect with a Kerberos ticket that cannot serve: an expired one, one whose KDC cannot be
// reached for the service ticket, and a desktop clock far ahead of the DC's. Each gives one box
// with what is wrong and what to do, the GSSAPI words as details, and a local error's number.
#include "AdDc.h"
#include "BrowserTests.h"
#include "directory/LdapErrors.h"

#include <QDeadlineTimer>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>

using namespace browsertests;
using platform::MessageIcon;

namespace {

// kinit as the test account into `cache` with the DC's krb5.conf; extra options such as a
// lifetime. The password comes from the fixture's template, never from the program.
bool kinit(const QString& cache, const QStringList& options = {})
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KRB5_CONFIG"), AdDc::runDirectory + QStringLiteral("/krb5.conf"));
    env.insert(QStringLiteral("KRB5CCNAME"), QStringLiteral("FILE:") + cache);
    process.setProcessEnvironment(env);
    process.setStandardInputFile(AdDc::runDirectory + QStringLiteral("/tester.password"));
    process.start(QStringLiteral("kinit"), options + QStringList { QStringLiteral("mivora-tester@EXAMPLE.TEST") });
    return process.waitForFinished(60000) && process.exitCode() == 0;
}

bool ticketIsValid(const QString& cache)
{
    QProcess klist;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KRB5CCNAME"), QStringLiteral("FILE:") + cache);
    klist.setProcessEnvironment(env);
    klist.start(QStringLiteral("klist"), { QStringLiteral("-s") });
    return klist.waitForFinished(30000) && klist.exitCode() == 0;
}

} // namespace

class AdKerberosErrors : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { AD_DC_SKIP_UNLESS_RUNNING(); }
    void init()
    {
        QVERIFY(temp.isValid());
        window = openMainWindow(AdDc::domain, QStringLiteral("field-probe"), QStringLiteral("Field-Passw0rd!"));
        recorder = std::make_unique<MessageRecorder>();
    }
    void cleanup()
    {
        recorder.reset();
        window.reset();
        qputenv("KRB5CCNAME", "FILE:" + QFile::encodeName(AdDc::runDirectory) + "/krb5cc");
        qputenv("KRB5_CONFIG", QFile::encodeName(AdDc::runDirectory) + "/krb5.conf");
    }

    void anExpiredTicketSaysToRenewIt()
    {
        const QString cache = temp.filePath(QStringLiteral("expired"));
        QVERIFY(kinit(cache, { QStringLiteral("-l"), QStringLiteral("2s") }));
        QDeadlineTimer deadline(30000);
        while (ticketIsValid(cache) && !deadline.hasExpired())
            QTest::qWait(100);
        QVERIFY(!ticketIsValid(cache));
        qputenv("KRB5CCNAME", "FILE:" + QFile::encodeName(cache));

        click(window->cmdConnect);

        checkOneKerberosBox(QStringLiteral("有効期限が切れています"), QStringLiteral("kinit"));
    }

    void anUnreachableKdcSaysSo()
    {
        // A ticket-granting ticket, but no KDC to get the LDAP service ticket from: the KDC of
        // this krb5.conf is an address where nothing listens.
        const QString cache = temp.filePath(QStringLiteral("tgt-only"));
        QVERIFY(kinit(cache));
        const QString conf = temp.filePath(QStringLiteral("krb5-dead-kdc.conf"));
        QFile file(conf);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[libdefaults]\n\tdefault_realm = EXAMPLE.TEST\n\tdns_lookup_kdc = false\n"
                   "\tudp_preference_limit = 1\n\trdns = false\n"
                   "[realms]\n\tEXAMPLE.TEST = {\n\t\tkdc = 127.77.0.250:8\n\t}\n");
        file.close();
        qputenv("KRB5CCNAME", "FILE:" + QFile::encodeName(cache));
        qputenv("KRB5_CONFIG", QFile::encodeName(conf));

        click(window->cmdConnect);

        checkOneKerberosBox(QStringLiteral("KDC"), QStringLiteral("krb5.conf"));
    }

    void aClockAheadOfTheDcsSaysSo()
    {
        // ctest runs this function once more under libfaketime, the clock 15 minutes ahead.
        if (qEnvironmentVariableIsEmpty("FAKETIME"))
            QSKIP("needs the clock moved ahead: ctest -R ad_KerberosErrors_clockAhead");
        click(window->cmdConnect);

        checkOneKerberosBox(QStringLiteral("時計"), QStringLiteral("timedatectl"));
        QVERIFY2(recorder->boxes.constFirst().text.contains(QStringLiteral("Clock skew too great")),
            qPrintable(recorder->boxes.constFirst().text));
    }

private:
    void checkOneKerberosBox(const QString& what, const QString& todo)
    {
        QCOMPARE(recorder->boxes.size(), 1);
        const Box& box = recorder->boxes.constFirst();
        QVERIFY2(box.icon == MessageIcon::Critical, qPrintable(box.text));
        const directory::DirectoryError localError = directory::errorFromLdap(-2 /* LDAP_LOCAL_ERROR */);
        const QString prefix = QString::number(localError.number()) + QStringLiteral("\r\n");
        QVERIFY2(box.text.startsWith(prefix + QStringLiteral("Kerberos ")), qPrintable(box.text));
        QVERIFY2(box.text.contains(what), qPrintable(box.text));
        QVERIFY2(box.text.contains(todo), qPrintable(box.text));
        // The generic words are replaced, the GSSAPI ones kept as details.
        QVERIFY2(!box.text.contains(localError.description()), qPrintable(box.text));
        QVERIFY2(box.text.contains(QStringLiteral("(詳細: ")) && box.text.contains(QStringLiteral("GSSAPI")),
            qPrintable(box.text));
        QVERIFY(window->cmdConnect->isEnabled());
        QCOMPARE(window->lvList->model()->rowCount(), 0);
    }

    QTemporaryDir temp;
    std::unique_ptr<frmMain> window;
    std::unique_ptr<MessageRecorder> recorder;
};

QTEST_MAIN(AdKerberosErrors)
#include "ad_KerberosErrors.moc"
