#pragma once

#include "platform/CommonDialog.h"

#include <QWidget>
#include <memory>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QModelIndex;
class QTreeView;

namespace browser {
class NodeTreeModel;
class ObjectListModel;
} // namespace browser

namespace Ui {
class frmMain;
}

// The main window. Its load step restores the login fields from data.ini and its unload step
// (title-bar close or "終了") saves them; the other handlers live beside it, a file per subject.
class frmMain : public QWidget {
    Q_OBJECT

public:
    explicit frmMain(QWidget* parent = nullptr);
    ~frmMain() override;

    // The controls, named as the layout names them (owned by the window).
    QLabel* Picture1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* txtDomain = nullptr;
    QLineEdit* txtAccount = nullptr;
    QLineEdit* txtPassWord = nullptr;
    QPushButton* cmdConnect = nullptr;
    QPushButton* cmdDisConect = nullptr;
    QPushButton* cmdClose = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command3 = nullptr;
    QPushButton* Command4 = nullptr;
    QPushButton* Command5 = nullptr;
    QPushButton* Command6 = nullptr;
    QPushButton* Command7 = nullptr;
    QPushButton* Command8 = nullptr;
    // tvNode: one text column, header hidden; its nodes' keys under NodeTreeModel::KeyRole.
    // lvList: the columns "No", "種類", "名称"; each row's tag under ObjectListModel::TagRole.
    QTreeView* tvNode = nullptr;
    QTreeView* lvList = nullptr;
    QLabel* lblMsg = nullptr;

    // The popup menu of tvNode; it is never part of a menu bar.
    QMenu* mnuPopup = nullptr;
    QAction* mnuListOutPut = nullptr;
    QAction* mnuProperty = nullptr;

    // ConnectHandlers.cpp, ListObjects.cpp, ListExportHandlers.cpp, OpenDetails.cpp.
    bool ListObjects(const QString& path, const QString& outputFile);
    void cmdConnect_Click();
    void cmdDisConect_Click();
    void tvNode_NodeClick(const QModelIndex& node);
    void tvNode_MouseUp(Qt::MouseButton button);
    void mnuListOutPut_Click();
    void mnuProperty_Click();
    void lvList_DblClick();

    // ProbeHandlers.cpp.
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();
    void Command6_Click();
    void Command7_Click();
    void Command8_Click();

    void cmdClose_Click();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Form_Load();
    void Form_Unload();
    void bindControls();
    void createPopupMenu();
    void connectHandlers();

    std::unique_ptr<Ui::frmMain> ui;
    // The nodes of tvNode (every one by its key) and the rows of lvList; owned by the window.
    browser::NodeTreeModel* tvNodeModel = nullptr;
    browser::ObjectListModel* lvListModel = nullptr;
    // The save dialog of "一覧出力...".
    platform::CommonDialog CommonDialog1 { this };
};
