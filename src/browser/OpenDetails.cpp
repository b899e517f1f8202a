#include "browser/TreeNodes.h"
#include "details/frmDet.h"
#include "probes/mdlMain.h"
#include "shell/frmMain.h"

#include <QTreeWidget>

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
    const QTreeWidgetItem* row = browser::selectedNode(lvList);
    if (!row)
        return;
    mdlMain::strObjectPath = row->data(0, Qt::UserRole).toString();
    showDetails();
}

void frmMain::mnuProperty_Click()
{
    const QTreeWidgetItem* node = browser::selectedNode(tvNode);
    if (!node)
        return;
    const QString key = browser::TreeNodes::keyOf(node);
    if (key.isEmpty())
        return;
    mdlMain::strObjectPath = key;
    showDetails();
}
