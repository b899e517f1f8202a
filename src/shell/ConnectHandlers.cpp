#include "browser/NodeTreeModel.h"
#include "browser/ObjectListModel.h"
#include "platform/MessageBox.h"
#include "shell/frmMain.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>

void frmMain::cmdConnect_Click()
{
    if (txtDomain->text().isEmpty()) {
        platform::MsgBox(QStringLiteral("domainを指定してください。"), platform::MessageIcon::Warning, this);
        return;
    }
    if (txtAccount->text().isEmpty()) {
        platform::MsgBox(QStringLiteral("accountを指定してください。"), platform::MessageIcon::Warning, this);
        return;
    }
    if (txtPassWord->text().isEmpty()) {
        platform::MsgBox(QStringLiteral("passwordを指定してください。"), platform::MessageIcon::Warning, this);
        return;
    }

    tvNodeModel->clear();

    if (ListObjects(QString(), QString())) {
        txtDomain->setEnabled(false);
        txtAccount->setEnabled(false);
        txtPassWord->setEnabled(false);
        cmdConnect->setEnabled(false);
    }
}

void frmMain::cmdDisConect_Click()
{
    tvNodeModel->clear();
    lvListModel->clear();
    txtDomain->setEnabled(true);
    txtAccount->setEnabled(true);
    txtPassWord->setEnabled(true);
    cmdConnect->setEnabled(true);
}

void frmMain::tvNode_NodeClick(const QModelIndex& node)
{
    // The clicked node is the selected one, except after a Ctrl+click that took the selection
    // away from it: the click still means "list this node".
    if (!node.isValid())
        return;
    ListObjects(browser::NodeTreeModel::keyOf(node), QString());
}
