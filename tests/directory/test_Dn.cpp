// The DN helpers: the first RDN and its value as the server wrote them, which texts are DNs,
// when two DN texts count as one entry for pairing search results with member values, the
// domain part that the search runs under, and the root path of a typed domain.
#include "DataTable.h"
#include "directory/Dn.h"

#include <QTest>

using directory::dn::comparisonKey;
namespace dn = directory::dn;

namespace {
// The current row's text in the column `name`, read where it is used.
QString cell(const char* name)
{
    return *static_cast<QString*>(QTest::qData(name, QMetaType::QString));
}

// Both DNs of the row have a comparison key, and the keys are the same or differ.
void compareRowKeys(bool same)
{
    const QString a = comparisonKey(cell("a"));
    const QString b = comparisonKey(cell("b"));
    QVERIFY(!a.isEmpty());
    QVERIFY(!b.isEmpty());
    if (same)
        QCOMPARE(a, b);
    else
        QVERIFY(a != b);
}
} // namespace

class TestDn : public QObject {
    Q_OBJECT
private slots:
    void firstRdnKeepsTheServersSpelling_data()
    {
        textTable({ "dn", "rdn", "value" },
            {
                { "plain", { "cn=Users,dc=example,dc=test", "cn=Users", "Users" } },
                { "escaped comma", { "CN=Yamada\\, Jiro,CN=Users,DC=x", "CN=Yamada\\, Jiro", "Yamada, Jiro" } },
                { "hex escapes", { "CN=a\\3Db\\23,DC=x", "CN=a\\3Db\\23", "a=b#" } },
                { "utf8 hex", { "CN=\\E5\\B1\\B1,DC=x", "CN=\\E5\\B1\\B1", "山" } },
                { "quoted", { "CN=\"a,b\",DC=x", "CN=\"a,b\"", "a,b" } },
                { "multi-valued rdn", { "CN=a+UID=b,DC=x", "CN=a+UID=b", "a" } },
                { "single rdn", { "DC=test", "DC=test", "test" } },
                { "empty value", { "DC=,DC=x", "DC=", "" } },
                { "trailing backslash", { "CN=a\\", "CN=a\\", "a\\" } },
                // toInt would read "+1" and " 1" as hex numbers and make control characters of them.
                { "escaped plus before a digit", { "CN=a\\+1,DC=x", "CN=a\\+1", "a+1" } },
                { "escaped blank before a digit", { "CN=\\ 1,DC=x", "CN=\\ 1", " 1" } },
                { "escaped minus before hex", { "CN=\\-f,DC=x", "CN=\\-f", "-f" } },
            });
    }
    void firstRdnKeepsTheServersSpelling()
    {
        QCOMPARE(dn::firstRdn(cell("dn")), cell("rdn"));
        QCOMPARE(dn::rdnValue(cell("rdn")), cell("value"));
    }

    void dnSyntaxIsCheckedBeforeAnythingIsSent()
    {
        for (const char* valid : { "DC=example,DC=test", "CN=Yamada\\, Jiro,DC=x", "OU=営業部,DC=x" })
            QVERIFY2(dn::isValid(QString::fromUtf8(valid)), valid);
        for (const QString& invalid : { QStringLiteral("DC=a,,DC=b"), QStringLiteral("no equals sign"),
                 QStringLiteral("DC=a\\"), QString::fromUtf8("DC=a\0b", 6) })
            QVERIFY2(!dn::isValid(invalid), qPrintable(invalid));
    }

    // The domain root's path from the domain text, label by label, as typed.
    void labelsBecomeDcComponents_data()
    {
        textTable({ "domain", "path" },
            {
                { "two labels", { "example.test", "LDAP://DC=example,DC=test" } },
                { "four labels", { "tokyo.corp.example.jp", "LDAP://DC=tokyo,DC=corp,DC=example,DC=jp" } },
                { "no dot", { "example", "LDAP://DC=example" } },
                { "dot at the end", { "example.", "LDAP://DC=example,DC=" } },
                { "dot at the start", { ".test", "LDAP://DC=,DC=test" } },
                { "two dots in a row", { "a..b", "LDAP://DC=a,DC=,DC=b" } },
                { "a dot alone", { ".", "LDAP://DC=,DC=" } },
                { "blanks kept", { " a . b ", "LDAP://DC= a ,DC= b " } },
                { "case kept", { "Example.TEST", "LDAP://DC=Example,DC=TEST" } },
                { "other characters passed on", { "a,b=c.日本", "LDAP://DC=a,b=c,DC=日本" } },
            });
    }
    void labelsBecomeDcComponents() { QCOMPARE(dn::rootPath(cell("domain")), cell("path")); }

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
    void sameEntryWrittenOtherwiseSharesTheKey() { compareRowKeys(true); }

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
    void otherEntriesHaveOtherKeys() { compareRowKeys(false); }

    void textThatIsNoDnHasNoKey()
    {
        for (const QString& text : { QStringLiteral("CN=a,,DC=test"), QStringLiteral("no equals sign"),
                 QStringLiteral("CN=a") + QChar(u'\0') + QStringLiteral(",DC=test") })
            QCOMPARE(comparisonKey(text), QString());
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
    void domainPartIsTheTrailingDomainComponents() { QCOMPARE(dn::domainPart(cell("dn")), cell("domain")); }
};

QTEST_APPLESS_MAIN(TestDn)
#include "test_Dn.moc"
