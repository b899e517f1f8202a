#include "DetailsTestSupport.h"

#include <QLineEdit>
#include <QListWidget>
#include <QTabWidget>

QStringList entriesOf(const QListWidget* list)
{
    QStringList entries;
    for (int row = 0; row < list->count(); ++row)
        entries.append(list->item(row)->text());
    return entries;
}

QStringList textBoxesOf(const frmDet& det)
{
    return { det.txtOuName->text(), det.txtCompName->text(), det.txtGrpName->text(), det.txtUsrName->text(),
        det.txtDisName->text(), det.txtLastName->text(), det.txtGivenName->text() };
}

bool everyFieldEmpty(const frmDet& det)
{
    for (const QString& text : textBoxesOf(det)) {
        if (!text.isEmpty())
            return false;
    }
    return det.lstGrpGroup->count() == 0 && det.lstGrpMember->count() == 0 && det.lstUsrGroup->count() == 0;
}

std::unique_ptr<frmDet> openOn(const QString& dn)
{
    mdlMain::strObjectPath = QStringLiteral("LDAP://") + dn;
    return std::make_unique<frmDet>();
}

void verifyNoDetailsScreen(const QList<Box>& boxes, const frmDet& det)
{
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text, QStringLiteral("このオブジェクトの詳細画面はありません。"));
    QCOMPARE(boxes[0].icon, platform::MessageIcon::Warning);
    QCOMPARE(det.sstDet->currentIndex(), 0);
    QVERIFY(everyFieldEmpty(det));
}

void verifyHiddenEntryBox(const QList<Box>& boxes)
{
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].icon, platform::MessageIcon::Critical);
    QVERIFY(boxes[0].text.startsWith(QString::number(directory::hresult::NoSuchObject) + "\r\n"));
}

void verifyGroupLists(const QString& dn, const QStringList& members, const QStringList& memberships)
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

void verifyDetailsCaseEnded()
{
    mdlMain::strObjectPath.clear();
    QCOMPARE(currentCursor(), Qt::ArrowCursor);
}
