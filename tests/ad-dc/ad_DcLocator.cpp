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
        QStringList tried;
        const std::optional<directory::LocatedDc> dc = directory::pingDcs(AdDc::domain,
            { SrvTarget { QStringLiteral("127.77.0.250"), 389 }, SrvTarget { address(), 389 } },
            std::chrono::seconds(10), {}, false, &tried);

        QVERIFY(dc);
        QCOMPARE(dc->uri, QStringLiteral("ldap://%1:389").arg(address()));
        QCOMPARE(tried, QStringList({ QStringLiteral("ldap://127.77.0.250:389"), dc->uri }));
        QVERIFY(dc->session);
        QVERIFY(dc->reply);
        QVERIFY(dc->reply->isLdapServer());
        QCOMPARE(dc->reply->dnsDomainName, QStringLiteral("example.test"));
        QCOMPARE(dc->reply->dnsForestName, QStringLiteral("example.test"));
        QCOMPARE(dc->reply->dnsHostName.toLower(), QStringLiteral("dc1.example.test"));
        QCOMPARE(dc->reply->netbiosDomainName, QStringLiteral("EXAMPLE"));
        QCOMPARE(dc->reply->netbiosComputerName, QStringLiteral("DC1"));
        QCOMPARE(dc->reply->dcSiteName, QStringLiteral("Default-First-Site-Name"));
    }

    void aDcOfAnotherDomainIsNotUsed()
    {
        QVERIFY(!directory::pingDcs(
            QStringLiteral("other.test"), { SrvTarget { address(), 389 } }, std::chrono::seconds(10)));
    }

private:
    static QString address()
    {
        QFile file(AdDc::runDirectory + QStringLiteral("/address"));
        return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll().trimmed()) : QString();
    }
};

QTEST_MAIN(AdDcLocator)
#include "ad_DcLocator.moc"
