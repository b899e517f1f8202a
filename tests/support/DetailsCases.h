#pragma once

// The details-window cases that the slapd tier (it_frmDet) and the Samba tier (ad_frmDet) share:
// a tier's _data function calls the columns function and adds its own directory's rows, its test
// function calls the case, which fetches them.

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

inline void userTabColumns()
{
    QTest::addColumn<QString>("dn");
    QTest::addColumn<QStringList>("names"); // cn, displayName, sn, givenName
    QTest::addColumn<QStringList>("groups");
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

inline void groupTabColumns()
{
    QTest::addColumn<QString>("dn");
    QTest::addColumn<QString>("cn");
    QTest::addColumn<QStringList>("members");
    QTest::addColumn<QStringList>("memberships");
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

inline void nameTabColumns()
{
    QTest::addColumn<QString>("dn");
    QTest::addColumn<int>("tab");
    QTest::addColumn<QString>("name");
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

inline void noTabColumns()
{
    QTest::addColumn<QString>("dn");
}
// An object of a class without a tab: the one warning, under the hourglass, and nothing shown.
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
