// The LDAP ping against a real DC (Samba's): what it says of itself and of the client, decoded,
// and a round of pings that passes over a DC that refuses.
#include "AdDc.h"
#include "directory/DcLocator.h"

using directory::SrvTarget;

class AdDcLocator : public QObject {
    Q_OBJECT
private slots:
    void init() { AD_DC_SKIP_UNLESS_RUNNING(); }

    void theDcAnswersThePingWithItsNames()
    {
        QFile file(AdDc::runDirectory + QStringLiteral("/address"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString address = QString::fromLatin1(file.readAll().trimmed());
        const QList<SrvTarget> dcs { { QStringLiteral("127.77.0.250"), 389 }, { address, 389 } };
        QStringList tried;
        const std::optional<directory::LocatedDc> dc
            = directory::pingDcs(AdDc::domain, dcs, std::chrono::seconds(10), {}, false, &tried);

        QVERIFY(dc && dc->session && dc->reply && dc->reply->isLdapServer());
        QCOMPARE(tried, QStringList({ QStringLiteral("ldap://127.77.0.250:389"), dcs.last().uri() }));
        QCOMPARE(dc->uri, dcs.last().uri());
        const directory::NetlogonReply& reply = *dc->reply;
        QCOMPARE(QStringList({ reply.dnsForestName, reply.dnsDomainName, reply.dnsHostName.toLower(),
                     reply.netbiosDomainName, reply.netbiosComputerName, reply.dcSiteName }),
            QStringList(
                { "example.test", "example.test", "dc1.example.test", "EXAMPLE", "DC1", "Default-First-Site-Name" }));
        // A DC does not answer for a domain it does not hold.
        QVERIFY(!directory::pingDcs(QStringLiteral("other.test"), { dcs.last() }, std::chrono::seconds(10)));
    }
};

QTEST_MAIN(AdDcLocator)
#include "ad_DcLocator.moc"
