// The two reads behind the details window's lists: which paths they bind, which the in-memory
// directory records and a real server does not tell.
#include "DetailsTestSupport.h"
#include "details/GroupReads.h"

#include <QTest>

using directory::AttrValue;
using directory::ReadResult;

namespace {

const QString domainDn = QStringLiteral("DC=example,DC=test");

QString dnOf(const QString& cn)
{
    return QStringLiteral("CN=%1,").arg(cn) + domainDn;
}

void addGroup(
    InMemoryDirectory& dir, const QString& cn, const QStringList& members = {}, const QStringList& memberOf = {})
{
    QHash<QString, QStringList> attributes { { "cn", { cn } } };
    if (!members.isEmpty())
        attributes.insert(QStringLiteral("member"), members);
    if (!memberOf.isEmpty())
        attributes.insert(QStringLiteral("memberOf"), memberOf);
    dir.add(dnOf(cn), { QStringLiteral("top"), QStringLiteral("group") }, attributes);
}

QStringList namesOf(const std::vector<ReadResult>& results)
{
    QStringList names;
    for (const ReadResult& result : results)
        names.append(result.error ? QStringLiteral("<%1>").arg(result.error->number()) : result.value.toString());
    return names;
}

} // namespace

class TestGroupReads : public QObject {
    Q_OBJECT
private slots:
    void membersKeepTheServerOfTheGroup()
    {
        DirectoryScope<InMemoryDirectory> scope;
        InMemoryDirectory& dir = *scope.directory;
        addGroup(dir, QStringLiteral("m"));
        addGroup(dir, QStringLiteral("g"), { dnOf("m") });

        const auto results = details::memberNames(dir.bind(QStringLiteral("LDAP://dc1.example.test/") + dnOf("g")));
        QCOMPARE(namesOf(results), QStringList({ "m" }));
        QCOMPARE(dir.boundPaths().last(), QStringLiteral("LDAP://dc1.example.test/") + dnOf("m"));
    }

    void groupWithoutMembersReadsNothing()
    {
        DirectoryScope<InMemoryDirectory> scope;
        InMemoryDirectory& dir = *scope.directory;
        addGroup(dir, QStringLiteral("empty"));
        const auto group = dir.bind(QStringLiteral("LDAP://") + dnOf("empty"));

        QVERIFY(details::memberNames(group).empty());
        QVERIFY(details::membershipNames(group).empty());
        QCOMPARE(dir.boundPaths().size(), 1);
    }

    void membershipsOfEachFormAreBoundWithTheLdapPrefix_data()
    {
        QTest::addColumn<QStringList>("memberOf");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("single") << QStringList({ dnOf("g1") }) << QStringList({ "g1" });
        QTest::newRow("array") << QStringList({ dnOf("g2"), dnOf("g1") }) << QStringList({ "g2", "g1" });
    }
    void membershipsOfEachFormAreBoundWithTheLdapPrefix()
    {
        QFETCH(QStringList, memberOf);
        QFETCH(QStringList, names);
        DirectoryScope<InMemoryDirectory> scope;
        InMemoryDirectory& dir = *scope.directory;
        addGroup(dir, QStringLiteral("g1"));
        addGroup(dir, QStringLiteral("g2"));
        addGroup(dir, QStringLiteral("x"), {}, memberOf);
        const auto object = dir.bind(QStringLiteral("LDAP://") + dnOf("x"));
        QCOMPARE(object.get(QStringLiteral("MemberOf")).form(),
            memberOf.size() == 1 ? AttrValue::Form::Single : AttrValue::Form::Array);

        QCOMPARE(namesOf(details::membershipNames(object)), names);
        QStringList expectedPaths { QStringLiteral("LDAP://") + dnOf("x") };
        for (const QString& dn : memberOf)
            expectedPaths.append(QStringLiteral("LDAP://") + dn);
        QCOMPARE(dir.boundPaths(), expectedPaths);
    }
};

QTEST_MAIN(TestGroupReads)
#include "test_GroupReads.moc"
