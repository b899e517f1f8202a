#pragma once

#include <QDialog>
#include <memory>

class QKeyEvent;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTabWidget;

namespace Ui {
class frmDet;
}

// The details window: one directory object, the one named by mdlMain::strObjectPath. Created
// afresh for each opening; its load step runs in the constructor, before the window shows, so
// the opener constructs it and then calls exec().
class frmDet : public QDialog {
    Q_OBJECT

public:
    explicit frmDet(QWidget* parent = nullptr);
    ~frmDet() override;

    // The controls, named as the layout names them (owned by the window).
    QTabWidget* sstDet = nullptr;
    QLineEdit* txtOuName = nullptr;
    QLineEdit* txtCompName = nullptr;
    QLineEdit* txtGrpName = nullptr;
    // Under "メンバ": the group's members.
    QListWidget* lstGrpGroup = nullptr;
    // Under "所属するグループ": the groups the group belongs to.
    QListWidget* lstGrpMember = nullptr;
    QLineEdit* txtUsrName = nullptr;
    QLineEdit* txtDisName = nullptr;
    QLineEdit* txtLastName = nullptr;
    QLineEdit* txtGivenName = nullptr;
    QListWidget* lstUsrGroup = nullptr;
    QPushButton* cmdUpdate = nullptr;
    QPushButton* cmdClose = nullptr;

    // Binds `path`, brings its class's tab to the front and fills it. True when the object is of
    // one of the five classes and its tab was filled to the end.
    bool ShowDetail(const QString& path);
    // Empties every field; the current tab stays.
    void ClearFields();

    void cmdUpdate_Click();
    void cmdClose_Click();

protected:
    // Esc does nothing here: only "閉じる" and the title bar close the window.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Form_Load();
    // The window a message box belongs to.
    QWidget* boxOwner();

    std::unique_ptr<Ui::frmDet> ui;
};
