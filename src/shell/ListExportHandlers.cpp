#include "browser/NodeTreeModel.h"
#include "platform/CommonDialog.h"
#include "platform/MessageBox.h"
#include "shell/frmMain.h"

#include <QCursor>
#include <QMenu>
#include <QTreeView>

namespace {
const QString exportFilter = QStringLiteral("csv(tab区切り)(*.csv)|*.csv|全てのファイル(*.*)|*.*");
}

void frmMain::tvNode_MouseUp(Qt::MouseButton button)
{
    if (button != Qt::RightButton)
        return;
    if (tvNodeModel->rowCount() == 0)
        return;
    mnuPopup->exec(QCursor::pos());
}

void frmMain::mnuListOutPut_Click()
{
    QModelIndex selected = browser::selectedIndex(tvNode);
    if (!selected.isValid() || browser::NodeTreeModel::keyOf(selected).isEmpty())
        return;

    CommonDialog1.Flags = platform::CommonDialog::cdlOFNPathMustExist | platform::CommonDialog::cdlOFNFileMustExist;
    CommonDialog1.Filter = exportFilter;
    CommonDialog1.ShowSave();

    const QString fileName = CommonDialog1.FileName;
    if (fileName.isEmpty())
        return;

    // The dialog ran its own event loop: the selection is read again.
    selected = browser::selectedIndex(tvNode);
    if (!selected.isValid())
        return;
    if (ListObjects(browser::NodeTreeModel::keyOf(selected), fileName))
        platform::MsgBox(QStringLiteral("保存しました。"), platform::MessageIcon::Information, this);
}
