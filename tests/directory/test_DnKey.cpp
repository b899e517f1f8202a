// When two DN texts count as one entry for pairing search results with member values, and the
// domain part that the search runs under.
#include "DataTable.h"
#include "directory/DnKey.h"

#include <QTest>

using directory::dn::comparisonKey;
using directory::dn::domainPart;

class TestDnKey : public QObject {
    Q_OBJECT
private slots:
    void sameEntryWrittenOtherwiseSharesTheKey_data()
    {
        textTable({ "a", "b" },
            {
                { "type case",
                    { "CN=山田 太郎,OU=営業部,DC=example,DC=test", "cn=山田 太郎,ou=営業部,dc=example,dc=test" } },
                { "value case",
                    { "CN=Hans Müller,CN=Users,DC=example,DC=test", "CN=HANS MÜLLER,CN=users,DC=Example,DC=TEST" } },
                { "escaped comma",
                    { "CN=Yamada\\, Jiro,CN=Users,DC=example,DC=test",
                        "cn=Yamada\\2C Jiro,cn=Users,dc=example,dc=test" } },
                { "escaped utf-8", { "CN=山田,DC=test", "CN=\\E5\\B1\\B1\\E7\\94\\B0,DC=test" } },
                { "blanks around separators", { "CN=a,CN=Users,DC=test", "CN = a, CN=Users , DC=test" } },
                { "multi-valued rdn in any order", { "CN=a+SN=b,DC=test", "sn=B+cn=A,dc=test" } },
            });
    }
    void sameEntryWrittenOtherwiseSharesTheKey()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QVERIFY(!comparisonKey(a).isEmpty());
        QCOMPARE(comparisonKey(a), comparisonKey(b));
    }

    void otherEntriesHaveOtherKeys_data()
    {
        textTable({ "a", "b" },
            {
                { "same first rdn, other parent", { "CN=a,CN=Users,DC=test", "CN=a,OU=Users,DC=test" } },
                { "escaped comma is no separator", { "CN=a\\,CN=b,DC=test", "CN=a,CN=b,DC=test" } },
                { "escaped plus is no second value", { "CN=a\\+SN=b,DC=test", "CN=a+SN=b,DC=test" } },
                { "inner blank", { "CN=a b,DC=test", "CN=ab,DC=test" } },
                { "one level more", { "CN=a,DC=example,DC=test", "CN=a,DC=test" } },
                { "other type", { "CN=a,DC=test", "OU=a,DC=test" } },
            });
    }
    void otherEntriesHaveOtherKeys()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QVERIFY(!comparisonKey(a).isEmpty());
        QVERIFY(!comparisonKey(b).isEmpty());
        QVERIFY(comparisonKey(a) != comparisonKey(b));
    }

    void textThatIsNoDnHasNoKey()
    {
        QCOMPARE(comparisonKey(QStringLiteral("CN=a,,DC=test")), QString());
        QCOMPARE(comparisonKey(QStringLiteral("no equals sign")), QString());
        QCOMPARE(comparisonKey(QStringLiteral("CN=a") + QChar(u'\0') + QStringLiteral(",DC=test")), QString());
    }

    void domainPartIsTheTrailingDomainComponents_data()
    {
        textTable({ "dn", "domain" },
            {
                { "user", { "CN=Yamada\\, Jiro,CN=Users,DC=example,DC=test", "DC=example,DC=test" } },
                { "lower case", { "cn=a,dc=example,dc=test", "dc=example,dc=test" } },
                { "the domain itself", { "DC=example,DC=test", "DC=example,DC=test" } },
                { "dc in the middle only", { "CN=a,DC=b,CN=c", "" } },
                { "no dc", { "CN=a,O=Example", "" } },
                { "multi-valued last rdn", { "CN=a,DC=x+CN=y", "" } },
                { "no dn", { "CN=a,,DC=test", "" } },
            });
    }
    void domainPartIsTheTrailingDomainComponents()
    {
        QFETCH(QString, dn);
        QFETCH(QString, domain);
        QCOMPARE(domainPart(dn), domain);
    }
};

QTEST_APPLESS_MAIN(TestDnKey)
#include "test_DnKey.moc"
