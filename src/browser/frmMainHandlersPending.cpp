// replaced by the browser's handlers of frmMain (delete this file when they land)
#include "shell/frmMain.h"

bool frmMain::ListObjects(const QString&, const QString&)
{
    return false;
}

void frmMain::cmdConnect_Click() { }
void frmMain::cmdDisConect_Click() { }
void frmMain::tvNode_NodeClick(QTreeWidgetItem*) { }
void frmMain::tvNode_MouseUp(Qt::MouseButton) { }
void frmMain::mnuListOutPut_Click() { }
void frmMain::mnuProperty_Click() { }
void frmMain::lvList_DblClick() { }
