#pragma once

#include "platform/CommonDialog.h"
#include "ui_frmMain.h"

#include <QWidget>
#include <array>
#include <utility>

class QAction;
class QMenu;
class QModelIndex;

namespace browser {
class NodeTreeModel;
class ObjectListModel;
} // namespace browser

// The main window. Its load step restores the login fields from data.ini and its unload step
// (title-bar close or "終了") saves them; the other handlers live beside it, a file per subject.
class frmMain : public QWidget, public Ui::frmMain {
    Q_OBJECT

public:
    explicit frmMain(QWidget* parent = nullptr);

    // The controls come from frmMain.ui (Ui::frmMain), under its names.
    // tvNode: one text column, header hidden; its nodes' keys under NodeTreeModel::KeyRole.
    // lvList: the columns "No", "種類", "名称"; each row's tag under ObjectListModel::TagRole.
    // Made here, as no layout holds it: the popup menu of tvNode, never part of a menu bar.
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
    // The fields data.ini keeps, by their keys in its [Data] section.
    std::array<std::pair<const char*, QLineEdit*>, 3> loginFields() const;
    void createPopupMenu();
    void connectHandlers();

    // The nodes of tvNode (every one by its key) and the rows of lvList; owned by the window.
    browser::NodeTreeModel* tvNodeModel = nullptr;
    browser::ObjectListModel* lvListModel = nullptr;
    // The save dialog of "一覧出力...".
    platform::CommonDialog CommonDialog1 { this };
};
