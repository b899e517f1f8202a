// The domain root's path from the domain text, label by label, as typed.

#include "directory/RootPath.h"

#include <QTest>

class TestRootPath : public QObject {
    Q_OBJECT

private slots:
    void labelsBecomeDcComponents_data()
    {
        QTest::addColumn<QString>("domain");
        QTest::addColumn<QString>("path");
        QTest::newRow("two labels") << QStringLiteral("example.test") << QStringLiteral("LDAP://DC=example,DC=test");
        QTest::newRow("four labels") << QStringLiteral("tokyo.corp.example.jp")
                                     << QStringLiteral("LDAP://DC=tokyo,DC=corp,DC=example,DC=jp");
        QTest::newRow("no dot") << QStringLiteral("example") << QStringLiteral("LDAP://DC=example");
        QTest::newRow("dot at the end") << QStringLiteral("example.") << QStringLiteral("LDAP://DC=example,DC=");
        QTest::newRow("dot at the start") << QStringLiteral(".test") << QStringLiteral("LDAP://DC=,DC=test");
        QTest::newRow("two dots in a row") << QStringLiteral("a..b") << QStringLiteral("LDAP://DC=a,DC=,DC=b");
        QTest::newRow("a dot alone") << QStringLiteral(".") << QStringLiteral("LDAP://DC=,DC=");
        QTest::newRow("blanks kept") << QStringLiteral(" a . b ") << QStringLiteral("LDAP://DC= a ,DC= b ");
        QTest::newRow("case kept") << QStringLiteral("Example.TEST") << QStringLiteral("LDAP://DC=Example,DC=TEST");
        QTest::newRow("other characters passed on")
            << QStringLiteral("a,b=c.日本") << QStringLiteral("LDAP://DC=a,b=c,DC=日本");
    }
    void labelsBecomeDcComponents()
    {
        QFETCH(QString, domain);
        QFETCH(QString, path);
        QCOMPARE(directory::rootPath(domain), path);
    }
};

QTEST_MAIN(TestRootPath)
#include "test_RootPath.moc"
