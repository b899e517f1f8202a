#pragma once

#include "DirectoryScope.h"
#include "InMemoryDirectory.h"
#include "MessageRecorder.h"
#include "details/frmDet.h"
#include "directory/Directory.h"
#include "directory/DirectoryError.h"
#include "platform/MessageBox.h"
#include "platform/mdlMain.h"

#include <QApplication>
#include <QLineEdit>
#include <QList>
#include <QListWidget>
#include <QStringList>
#include <QTabWidget>
#include <QTest>
#include <memory>

// Keeps strObjectPath as it was before the test.
class ObjectPathScope {
public:
    explicit ObjectPathScope(const QString& path)
        : previous_(std::exchange(mdlMain::strObjectPath, path))
    { }
    ~ObjectPathScope() { mdlMain::strObjectPath = previous_; }
    ObjectPathScope(const ObjectPathScope&) = delete;
    ObjectPathScope& operator=(const ObjectPathScope&) = delete;

private:
    QString previous_;
};

inline QStringList entriesOf(const QListWidget* list)
{
    QStringList entries;
    for (int row = 0; row < list->count(); ++row)
        entries.append(list->item(row)->text());
    return entries;
}

// The seven text boxes, in the order the window lists them.
inline QStringList textBoxesOf(const frmDet& det)
{
    return { det.txtOuName->text(), det.txtCompName->text(), det.txtGrpName->text(), det.txtUsrName->text(),
        det.txtDisName->text(), det.txtLastName->text(), det.txtGivenName->text() };
}

inline bool everyFieldEmpty(const frmDet& det)
{
    for (const QString& text : textBoxesOf(det)) {
        if (!text.isEmpty())
            return false;
    }
    return det.lstGrpGroup->count() == 0 && det.lstGrpMember->count() == 0 && det.lstUsrGroup->count() == 0;
}

// A fresh window whose load step has run on `dn`.
inline std::unique_ptr<frmDet> openOn(const QString& dn)
{
    mdlMain::strObjectPath = QStringLiteral("LDAP://") + dn;
    return std::make_unique<frmDet>();
}

// The one warning of a class that has no tab, over a window that shows nothing. The caller
// checks QTest::currentTestFailed() before it looks at the box again.
inline void verifyNoDetailsScreen(const QList<Box>& boxes, const frmDet& det)
{
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text, QStringLiteral("このオブジェクトの詳細画面はありません。"));
    QCOMPARE(boxes[0].icon, platform::MessageIcon::Warning);
    QCOMPARE(det.sstDet->currentIndex(), 0);
    QVERIFY(everyFieldEmpty(det));
}

// The one error box of a read that met an entry it may not see. The caller checks
// QTest::currentTestFailed() before it looks at the box again.
inline void verifyHiddenEntryBox(const QList<Box>& boxes)
{
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].icon, platform::MessageIcon::Critical);
    QVERIFY(boxes[0].text.startsWith(QString::number(directory::hresult::NoSuchObject) + "\r\n"));
}

// A group that opens on its tab with no box, listing `members` and `memberships` as stored,
// and the same again after a refresh.
inline void verifyGroupLists(const QString& dn, const QStringList& members, const QStringList& memberships)
{
    MessageRecorder recorder;

    const auto det = openOn(dn);
    QVERIFY(recorder.boxes.isEmpty());
    QCOMPARE(det->sstDet->currentIndex(), 2);
    QCOMPARE(entriesOf(det->lstGrpGroup), members);
    QCOMPARE(entriesOf(det->lstGrpMember), memberships);
    QVERIFY(det->ShowDetail(mdlMain::strObjectPath));
    QCOMPARE(entriesOf(det->lstGrpGroup), members);
    QCOMPARE(entriesOf(det->lstGrpMember), memberships);
}

// The end of every case that opened a details window: no path left for the next one, and no
// hourglass left up.
inline void verifyDetailsCaseEnded()
{
    mdlMain::strObjectPath.clear();
    QCOMPARE(currentCursor(), Qt::ArrowCursor);
}
