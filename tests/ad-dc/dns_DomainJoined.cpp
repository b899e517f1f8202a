// Mivora on a desktop joined to the test domain, nothing configured but DNS and a Kerberos
// ticket: no URI in ldap.conf, no SASL_NOCANON, no PTR records, the KDC found through DNS, the
// DC with Samba's default of strong authentication. Runs inside dns-tier.sh's namespace, which
// starts the DC with its DNS server and a second DC in the client's site; each test sets the DC
// locator's SRV records it needs.
#include "AdDc.h"
#include "BrowserTests.h"
#include "DataTable.h"

#include "details/frmDet.h"
#include "directory/KerberosAdvice.h"
#include "directory/LdapDirectory.h"
#include "directory/LdapErrors.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QProcess>
#include <QTabWidget>
#include <QTemporaryDir>

using namespace browsertests;

namespace {

const QString typedPassword = QStringLiteral("Dns-Tier-Passw0rd!");
// The folders of the two DCs' starts: the first DC's and DC2's (in the client's site).
const QString dnsRun = qEnvironmentVariable("MIVORA_DNS_RUN");
const QString siteRun = qEnvironmentVariable("MIVORA_DNS_SITE_RUN");

// The DC locator's records: the domain's DCs, those of the client's site (Osaka: DC2's), and the
// domain's LDAP servers, asked for when the first name has none.
const QString dcRecords = QStringLiteral("_ldap._tcp.dc._msdcs.") + AdDc::domain;
const QString siteRecords = QStringLiteral("_ldap._tcp.Osaka._sites.dc._msdcs.") + AdDc::domain;
const QString ldapRecords = QStringLiteral("_ldap._tcp.") + AdDc::domain;

// Replaces the SRV records of `name` in the DC's DNS (its database; the DNS server answers from it).
bool setRecords(const QString& name, const QStringList& values)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(QStringLiteral("/usr/bin/python3"),
        QStringList { QStringLiteral(MIVORA_AD_DC_SCRIPTS "/set-dns-records.py"), dnsRun, name, QStringLiteral("SRV") }
            + values);
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

} // namespace

class DnsDomainJoined : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (dnsRun.isEmpty())
            QSKIP("AD DNS tier skipped: run through dns-tier.sh (ctest -R dns_DomainJoined)");
        QVERIFY(qEnvironmentVariableIsEmpty("LDAPCONF"));
        QVERIFY(qEnvironmentVariableIsEmpty("LDAPURI"));
    }
    void init()
    {
        for (const QString& name : { dcRecords, ldapRecords })
            QVERIFY(setRecords(name, { QStringLiteral("dc1.example.test:389:0") }));
        QVERIFY(setRecords(siteRecords, {}));
        // The DC a directory located stays its DC: each test starts with none.
        directory::setCurrentDirectory(std::make_unique<directory::LdapDirectory>());
        window = openMainWindow(AdDc::domain, QStringLiteral("field-probe"), typedPassword);
        recorder = std::make_unique<MessageRecorder>();
    }
    void cleanup()
    {
        recorder.reset();
        window.reset();
    }

    void connectFindsTheDcThroughDnsAndListsTheRoot()
    {
        const qsizetype logBefore = AdDc::dcLog(dnsRun).size();
        click(window->cmdConnect);

        QVERIFY2(recorder->boxes.isEmpty(), qPrintable(recorder->boxes.value(0).text));
        const QList<Row> rows = listRows(window->lvList);
        for (const QString& dn : { AdDc::users, AdDc::computers, AdDc::domainControllers, AdDc::sales, AdDc::bulkOu })
            QVERIFY2(rowWithDn(rows, dn), qPrintable(dn));
        // Serverless paths: the server came from DNS, not from the path.
        for (const Row& row : rows)
            QVERIFY2(row.tag.startsWith(u"LDAP://CN=") || row.tag.startsWith(u"LDAP://OU="), qPrintable(row.tag));
        // The ticket's bind, sealed by SASL: this DC refuses unsigned binds on plain LDAP.
        const QByteArray log = AdDc::dcLog(dnsRun).mid(logBefore);
        QVERIFY2(log.contains("[LDAP,krb5] user [EXAMPLE]\\[mivora-tester]"), log.constData());
        QCOMPARE(AdDc::ldapProtectionsOfTheTester(log), QStringList { QStringLiteral("SEAL") });
        QVERIFY(!log.contains(typedPassword.toUtf8()));
        QCOMPARE(AdDc::passwordBindsIn(log), QList<QByteArray>());
        // The service ticket is for the SRV target's name; the address has neither a PTR record
        // nor an SPN.
        QProcess klist;
        klist.start(QStringLiteral("klist"));
        QVERIFY(klist.waitForFinished(30000));
        const QByteArray tickets = klist.readAllStandardOutput();
        QVERIFY2(tickets.contains("ldap/dc1.example.test@"), tickets.constData());
        QVERIFY2(!tickets.contains("ldap/127."), tickets.constData());
    }

    void connectUsesTheFirstDcThatAnswersInTheClientsSite_data()
    {
        // Servers as target:port:priority; dc0 and dc9 refuse, drop1 and drop2 never answer. Bound
        // at: the DC whose log shows the tester's bind, none for the box naming `named`.
        addColumns<QStringList, QStringList, QStringList, QString, QStringList>(
            { "dcs", "siteDcs", "ldapServers", "boundAt", "named" });
        const QStringList dc1 { "dc1.example.test:389:0" };
        QTest::newRow("the site's DC") << dc1 << QStringList { "dc2.example.test:389:0" } << dc1 << "site"
                                       << QStringList();
        QTest::newRow("the site's DC dropped")
            << dc1 << QStringList { "drop1.example.test:389:0" } << dc1 << "first" << QStringList();
        QTest::newRow("no DC records: the domain's LDAP servers")
            << QStringList() << QStringList() << QStringList { "dc2.example.test:389:0" } << "site" << QStringList();
        QTest::newRow("the first DC refuses") << QStringList { "dc0.example.test:389:0", "dc1.example.test:389:10" }
                                              << QStringList() << dc1 << "first" << QStringList();
        QTest::newRow("two preferred DCs dropped")
            << QStringList { "drop1.example.test:389:0", "drop2.example.test:389:0", "dc1.example.test:389:10" }
            << QStringList() << dc1 << "first" << QStringList();
        QTest::newRow("every DC refuses") << QStringList { "dc0.example.test:389:0", "dc9.example.test:389:10" }
                                          << QStringList() << dc1 << "" << QStringList { "dc0", "dc9" };
        QTest::newRow("every DC dropped") << QStringList { "drop1.example.test:389:0", "drop2.example.test:389:10" }
                                          << QStringList() << dc1 << "" << QStringList { "drop1", "drop2" };
    }
    void connectUsesTheFirstDcThatAnswersInTheClientsSite()
    {
        QFETCH(QStringList, dcs);
        QFETCH(QStringList, siteDcs);
        QFETCH(QStringList, ldapServers);
        QFETCH(QString, boundAt);
        QFETCH(QStringList, named);
        QVERIFY(setRecords(dcRecords, dcs));
        QVERIFY(setRecords(siteRecords, siteDcs));
        QVERIFY(setRecords(ldapRecords, ldapServers));
        const qsizetype firstLog = AdDc::dcLog(dnsRun).size();
        const qsizetype siteLog = AdDc::dcLog(siteRun).size();
        QElapsedTimer clock;
        clock.start();
        click(window->cmdConnect);
        const qint64 elapsed = clock.elapsed();
        qInfo("%s: %s after %lld ms", QTest::currentDataTag(), boundAt.isEmpty() ? "the box" : "the root", elapsed);

        if (boundAt.isEmpty()) {
            QCOMPARE(recorder->boxes.size(), 1);
            const QString text = recorder->boxes.constFirst().text;
            QVERIFY2(text.startsWith(QString::number(directory::hresult::ServerDown) + QStringLiteral("\r\n")),
                qPrintable(text));
            for (const QString& dc : named)
                QVERIFY2(text.contains(dc + QStringLiteral(".example.test")), qPrintable(text));
            QCOMPARE(recorder->boxes.constFirst().icon, platform::MessageIcon::Critical);
            QVERIFY(window->cmdConnect->isEnabled());
            QCOMPARE(window->lvList->model()->rowCount(), 0);
            return;
        }
        QVERIFY2(recorder->boxes.isEmpty(), qPrintable(recorder->boxes.value(0).text));
        QVERIFY(rowWithDn(listRows(window->lvList), AdDc::users));
        QVERIFY(!window->cmdConnect->isEnabled());
        QVERIFY(elapsed < directory::ConnectionOptions().networkTimeoutSeconds * 1000);
        const QByteArray testersBind("[LDAP,krb5] user [EXAMPLE]\\[mivora-tester]");
        QCOMPARE(AdDc::dcLog(dnsRun).mid(firstLog).contains(testersBind), boundAt == u"first");
        QCOMPARE(AdDc::dcLog(siteRun).mid(siteLog).contains(testersBind), boundAt == u"site");
    }

    void nodeClickDetailsAndExportWork()
    {
        click(window->cmdConnect);
        const QPersistentModelIndex users = childWithKey(topNode(window->tvNode), AdDc::adsPath(AdDc::users));
        QVERIFY(users.isValid());
        clickNode(window->tvNode, users);
        QVERIFY2(recorder->boxes.isEmpty(), qPrintable(recorder->boxes.value(0).text));
        const QList<Row> rows = listRows(window->lvList);
        QVERIFY(rowWithDn(rows, AdDc::tester));
        QVERIFY(rowWithDn(rows, AdDc::allStaff));

        const QPersistentModelIndex tester = rowIndexOf(window->lvList, AdDc::tester);
        QVERIFY(tester.isValid());
        DetailsCloser closer;
        doubleClickRow(window->lvList, tester);
        QVERIFY(closer.shown);
        QCOMPARE(closer.userName, QStringLiteral("mivora-tester"));
        QCOMPARE(closer.lastName, QStringLiteral("Tester"));
        QVERIFY2(recorder->boxes.isEmpty(), qPrintable(recorder->boxes.value(0).text));

        QTemporaryDir temp;
        const QString file = temp.filePath(QStringLiteral("users.csv"));
        SaveDialogAnswers dialog;
        dialog.answers = { file };
        const PopupAnswer popup(QStringLiteral("mnuListOutPut"));
        clickNode(window->tvNode, users, Qt::RightButton);
        QVERIFY(popup.shown());
        QCOMPARE(recorder->boxes.size(), 1);
        QCOMPARE(recorder->boxes.constFirst().text, QStringLiteral("保存しました。"));
        const QByteArray bytes = readBytes(file);
        QVERIFY(bytes.startsWith("\xA2"
                                 "CN=Users\xA3"));
        QCOMPARE(bytes.count("\r\n"), rows.size() + 1);
        QVERIFY(bytes.contains("\tLDAP://CN=mivora-tester,CN=Users,DC=example,DC=test\t\r\n"));
    }

    void aDcNameWithoutSpnGivesTheKerberosBox()
    {
        // alias.example.test reaches the DC, but no account holds ldap/alias.example.test.
        QVERIFY(setRecords(dcRecords, { QStringLiteral("alias.example.test:389:0") }));
        click(window->cmdConnect);

        QCOMPARE(recorder->boxes.size(), 1);
        const QString text = recorder->boxes.constFirst().text;
        const directory::DirectoryError localError = directory::errorFromLdap(-2 /* LDAP_LOCAL_ERROR */);
        QVERIFY2(text.startsWith(QString::number(localError.number()) + QStringLiteral("\r\n")), qPrintable(text));
        const QString expected = directory::kerberosProblemText(QStringLiteral("not found in Kerberos database"));
        QVERIFY2(text.contains(expected), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("alias.example.test")), qPrintable(text));
        QCOMPARE(window->lvList->model()->rowCount(), 0);
    }

private:
    std::unique_ptr<frmMain> window;
    std::unique_ptr<MessageRecorder> recorder;
};

QTEST_MAIN(DnsDomainJoined)
#include "dns_DomainJoined.moc"
