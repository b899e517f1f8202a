// The member and membership reads against the sample directory: one entry per value, in
// directory order, with a failing entry in its place and the entries after it still read.
#include "TestDirectory.h"
#include "details/GroupReads.h"

#include <QTest>

using directory::ReadResult;
using TestDirectory::adsPath;

namespace {

QStringList namesOf(const std::vector<ReadResult>& results)
{
    QStringList names;
    for (const ReadResult& result : results)
        names.append(result.error ? QStringLiteral("<%1>").arg(result.error->number()) : result.value.toString());
    return names;
}

directory::DirObject bound(const QString& dn)
{
    return directory::currentDirectory().bind(adsPath(dn));
}

const QString noSuchObject = QStringLiteral("<%1>").arg(directory::hresult::NoSuchObject);

} // namespace

class ItGroupReads : public QObject {
    Q_OBJECT
private slots:
    void membersAfterOneThatCannotBeBoundAreStillRead()
    {
        const auto results = details::memberNames(bound(TestDirectory::projectA));
        QCOMPARE(namesOf(results), QStringList({ "鈴木 一郎", noSuchObject, "山田 太郎", "システム管理者" }));
        QVERIFY(!results[1].error->description().isEmpty());
    }

    void membershipsAfterOneThatCannotBeBoundAreStillRead()
    {
        QCOMPARE(namesOf(details::membershipNames(bound(TestDirectory::itoKen))),
            QStringList({ "東京支店メンバー", noSuchObject, "全社員" }));
    }

    void aGroupsMembersOfEveryClassGiveTheirCn()
    {
        QCOMPARE(namesOf(details::memberNames(bound(TestDirectory::salesMembers))),
            QStringList({ "山田 太郎", "東京支店メンバー", "PC-EIGYO-001" }));
    }

    void noMembersAndNoMembershipsGiveNoEntries()
    {
        const auto group = bound(TestDirectory::emptyGroup);
        QVERIFY(details::memberNames(group).empty());
        QVERIFY(details::membershipNames(group).empty());
        QVERIFY(details::membershipNames(bound(TestDirectory::takahashiNaoko)).empty());
    }
};

QTEST_MAIN(ItGroupReads)
#include "it_GroupReads.moc"
