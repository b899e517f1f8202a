#include "browser/NodeTreeModel.h"
#include "browser/ObjectListModel.h"
#include "details/frmDet.h"
#include "platform/mdlMain.h"
#include "shell/frmMain.h"

#include <QTreeView>

namespace {

// frmDet modal with no owner; the call returns once the window has been closed, which
// destroys it. Its load step has run, and reported what it found, before it shows.
void showDetails()
{
    frmDet details(nullptr);
    details.exec();
}

} // namespace

void frmMain::lvList_DblClick()
{
    // Whichever row the list holds as selected, wherever the double-click landed.
    const QModelIndex row = browser::selectedIndex(lvList);
    if (!row.isValid())
        return;
    mdlMain::strObjectPath = row.data(browser::ObjectListModel::TagRole).toString();
    showDetails();
}

void frmMain::mnuProperty_Click()
{
    const QModelIndex node = browser::selectedIndex(tvNode);
    if (!node.isValid())
        return;
    const QString key = browser::NodeTreeModel::keyOf(node);
    if (key.isEmpty())
        return;
    mdlMain::strObjectPath = key;
    showDetails();
}
