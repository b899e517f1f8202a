// The two reads behind the details window's lists: one entry per member or membership, in
// directory order, each with its name or its own error.
#include "DetailsTestSupport.h"
#include "details/GroupReads.h"

#include <QTest>

using directory::AttrValue;
using directory::DirectoryError;
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
    void membersComeInDirectoryOrderWithEachFailureInItsPlace()
    {
        InMemoryScope scope;
        InMemoryDirectory& dir = *scope.directory;
        dir.add(domainDn, { QStringLiteral("domainDNS") });
        for (const char* cn : { "b", "c", "a" })
            addGroup(dir, QLatin1String(cn));
        addGroup(dir, QStringLiteral("all"), { dnOf("b"), dnOf("hidden"), dnOf("c"), dnOf("a") });
        dir.failBind(dnOf("hidden"), DirectoryError(directory::hresult::AccessDenied, QStringLiteral("拒否")));

        const auto results = details::memberNames(dir.bind(QStringLiteral("LDAP://") + dnOf("all")));
        QCOMPARE(namesOf(results),
            QStringList({ "b", QStringLiteral("<%1>").arg(directory::hresult::AccessDenied), "c", "a" }));
        QCOMPARE(results[1].error->description(), QStringLiteral("拒否"));
    }

    void membersKeepTheServerOfTheGroup()
    {
        InMemoryScope scope;
        InMemoryDirectory& dir = *scope.directory;
        addGroup(dir, QStringLiteral("m"));
        addGroup(dir, QStringLiteral("g"), { dnOf("m") });

        const auto results = details::memberNames(dir.bind(QStringLiteral("LDAP://dc1.example.test/") + dnOf("g")));
        QCOMPARE(namesOf(results), QStringList({ "m" }));
        QCOMPARE(dir.boundPaths().last(), QStringLiteral("LDAP://dc1.example.test/") + dnOf("m"));
    }

    void groupWithoutMembersReadsNothing()
    {
        InMemoryScope scope;
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
        InMemoryScope scope;
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

    void membershipThatNamesNoObjectGivesItsError()
    {
        InMemoryScope scope;
        InMemoryDirectory& dir = *scope.directory;
        addGroup(dir, QStringLiteral("g1"));
        addGroup(dir, QStringLiteral("x"), {}, { dnOf("gone"), dnOf("g1") });

        const auto results = details::membershipNames(dir.bind(QStringLiteral("LDAP://") + dnOf("x")));
        QCOMPARE(results.size(), size_t(2));
        QVERIFY(results[0].error);
        QCOMPARE(results[0].error->number(), directory::hresult::NoSuchObject);
        QCOMPARE(results[1].value.toString(), QStringLiteral("g1"));
    }
};

QTEST_MAIN(TestGroupReads)
#include "test_GroupReads.moc"
