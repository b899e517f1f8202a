#include "browser/TreeNodes.h"
#include "platform/CommonDialog.h"
#include "platform/MessageBox.h"
#include "shell/frmMain.h"

#include <QCursor>
#include <QMenu>
#include <QTreeWidget>

namespace {
const QString exportFilter = QStringLiteral("csv(tab区切り)(*.csv)|*.csv|全てのファイル(*.*)|*.*");
}

void frmMain::tvNode_MouseUp(Qt::MouseButton button)
{
    if (button != Qt::RightButton)
        return;
    if (tvNode->topLevelItemCount() == 0)
        return;
    mnuPopup->exec(QCursor::pos());
}

void frmMain::mnuListOutPut_Click()
{
    const QTreeWidgetItem* selected = browser::selectedNode(tvNode);
    if (!selected || browser::TreeNodes::keyOf(selected).isEmpty())
        return;

    CommonDialog1.Flags = platform::CommonDialog::cdlOFNPathMustExist | platform::CommonDialog::cdlOFNFileMustExist;
    CommonDialog1.Filter = exportFilter;
    CommonDialog1.ShowSave();

    const QString fileName = CommonDialog1.FileName;
    if (fileName.isEmpty())
        return;

    // The dialog ran its own event loop: the selection is read again.
    selected = browser::selectedNode(tvNode);
    if (!selected)
        return;
    if (ListObjects(browser::TreeNodes::keyOf(selected), fileName))
        platform::MsgBox(QStringLiteral("保存しました。"), platform::MessageIcon::Information, this);
}
