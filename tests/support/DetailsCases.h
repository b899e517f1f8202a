#pragma once

// The details-window cases that the slapd tier (it_frmDet) and the Samba tier (ad_frmDet) share:
// a tier's _data function passes its own directory's rows to the rows function, its test function
// calls the case, which fetches them.

#include "DataTable.h"
#include "DetailsTestSupport.h"

// Samba returns member and memberOf values in an order of its own: its lists compare sorted.
enum class ListOrder { AsStored, ServersOwn };

inline QStringList listed(const QListWidget* list, ListOrder order)
{
    QStringList entries = entriesOf(list);
    if (order == ListOrder::ServersOwn)
        entries.sort();
    return entries;
}

struct UserTabRow {
    const char* tag;
    QString dn;
    QStringList names; // cn, displayName, sn, givenName
    QStringList groups;
};
inline void userTabRows(std::initializer_list<UserTabRow> rows)
{
    addColumns<QString, QStringList, QStringList>({ "dn", "names", "groups" });
    for (const UserTabRow& row : rows)
        QTest::newRow(row.tag) << row.dn << row.names << row.groups;
}
// A user opens on the user tab with its four names and its groups; the other tabs stay empty
// and a second reading works.
inline void userTabCase(ListOrder order)
{
    QFETCH(QString, dn);
    QFETCH(QStringList, names);
    QFETCH(QStringList, groups);
    MessageRecorder recorder;

    const auto det = openOn(dn);
    QVERIFY2(recorder.boxes.isEmpty(), qPrintable(recorder.boxes.value(0).text));
    QCOMPARE(det->sstDet->currentIndex(), 3);
    QCOMPARE(QStringList({ det->txtUsrName->text(), det->txtDisName->text(), det->txtLastName->text(),
                 det->txtGivenName->text() }),
        names);
    QCOMPARE(listed(det->lstUsrGroup, order), groups);
    QCOMPARE(textBoxesOf(*det).mid(0, 3), QStringList(3, QString()));
    QCOMPARE(det->lstGrpGroup->count() + det->lstGrpMember->count(), 0);
    QVERIFY(det->ShowDetail(QStringLiteral("LDAP://") + dn));
    QVERIFY(recorder.boxes.isEmpty());
}

struct GroupTabRow {
    const char* tag;
    QString dn;
    QString cn;
    QStringList members;
    QStringList memberships;
};
inline void groupTabRows(std::initializer_list<GroupTabRow> rows)
{
    addColumns<QString, QString, QStringList, QStringList>({ "dn", "cn", "members", "memberships" });
    for (const GroupTabRow& row : rows)
        QTest::newRow(row.tag) << row.dn << row.cn << row.members << row.memberships;
}
// A group opens on the group tab with its members and the groups it is in.
inline void groupTabCase(ListOrder order)
{
    QFETCH(QString, dn);
    QFETCH(QString, cn);
    QFETCH(QStringList, members);
    QFETCH(QStringList, memberships);
    MessageRecorder recorder;

    const auto det = openOn(dn);
    QCOMPARE(det->sstDet->currentIndex(), 2);
    QCOMPARE(det->txtGrpName->text(), cn);
    QCOMPARE(listed(det->lstGrpGroup, order), members);
    QCOMPARE(listed(det->lstGrpMember, order), memberships);
    QCOMPARE(det->lstUsrGroup->count(), 0);
    QVERIFY2(recorder.boxes.isEmpty(), qPrintable(recorder.boxes.value(0).text));
    QVERIFY(det->ShowDetail(QStringLiteral("LDAP://") + dn));
}

struct NameTabRow {
    const char* tag;
    QString dn;
    int tab;
    QString name;
};
inline void nameTabRows(std::initializer_list<NameTabRow> rows)
{
    addColumns<QString, int, QString>({ "dn", "tab", "name" });
    for (const NameTabRow& row : rows)
        QTest::newRow(row.tag) << row.dn << row.tab << row.name;
}
// A container or OU (tab 0) or a computer (tab 1) shows its name alone; a computer is a user too,
// by its class chain, and the user tab stays empty.
inline void nameTabCase()
{
    QFETCH(QString, dn);
    QFETCH(int, tab);
    QFETCH(QString, name);
    MessageRecorder recorder;

    const auto det = openOn(dn);
    QCOMPARE(det->sstDet->currentIndex(), tab);
    QStringList expected(7, QString());
    expected[tab] = name;
    QCOMPARE(textBoxesOf(*det), expected);
    QCOMPARE(det->lstGrpGroup->count() + det->lstGrpMember->count() + det->lstUsrGroup->count(), 0);
    QVERIFY(recorder.boxes.isEmpty());
    QVERIFY(det->ShowDetail(QStringLiteral("LDAP://") + dn));
}

// An object of a class without a tab (rows: oneColumn<QString>("dn", ...)): the one warning, under
// the hourglass, and nothing shown.
inline void noTabCase()
{
    QFETCH(QString, dn);
    MessageRecorder recorder;

    const auto det = openOn(dn);
    verifyNoDetailsScreen(recorder.boxes, *det);
    if (QTest::currentTestFailed())
        return;
    QVERIFY(recorder.boxes[0].hourglass);
    QVERIFY(!det->ShowDetail(QStringLiteral("LDAP://") + dn));
}
