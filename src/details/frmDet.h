#pragma once

#include "ui_frmDet.h"

#include <QDialog>

class QKeyEvent;

// The details window: one directory object, the one named by mdlMain::strObjectPath. Created
// afresh for each opening; its load step runs in the constructor, before the window shows, so
// the opener constructs it and then calls exec().
class frmDet : public QDialog, public Ui::frmDet {
    Q_OBJECT

public:
    explicit frmDet(QWidget* parent = nullptr);

    // The controls come from frmDet.ui (Ui::frmDet), under its names. Under "メンバ", lstGrpGroup:
    // the group's members; under "所属するグループ", lstGrpMember: the groups it belongs to.

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
};
