// What a screen reader is told about the controls of both windows: every control a person can
// reach has a name (the login fields and the detail fields by their labels), and the hidden
// developer buttons are not among the controls it can reach.
#include "AppFolderScope.h"
#include "platform/AppInfo.h"
#include "shell/frmMain.h"
#include "ui_frmDet.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTreeView>

namespace {

QString nameOf(QWidget* widget)
{
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(widget);
    return iface ? iface->text(QAccessible::Name) : QStringLiteral("<no interface>");
}

// The labels that point at the widget, as the accessibility bus reports them.
QStringList labelsOf(QWidget* widget)
{
    QStringList labels;
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(widget);
    if (!iface)
        return labels;
    for (const auto& [other, relation] : iface->relations(QAccessible::Label))
        labels << other->text(QAccessible::Name);
    return labels;
}

// Every control under root that a person reaches with the keyboard or the mouse and that is
// meant to be seen: it must carry a name.
void everyReachableControlIsNamed(QWidget* root)
{
    for (QWidget* w : root->findChildren<QWidget*>()) {
        // A tab control is heard through its tabs, which carry their titles.
        if (!w->isVisibleTo(root) || w->focusPolicy() == Qt::NoFocus || qobject_cast<QTabBar*>(w)
            || qobject_cast<QTabWidget*>(w))
            continue;
        if (w->objectName().startsWith(QStringLiteral("qt_")) || w->parentWidget()->inherits("QAbstractScrollArea"))
            continue;
        QVERIFY2(!nameOf(w).isEmpty(), qPrintable(w->objectName() + QStringLiteral(" has no accessible name")));
    }
}

} // namespace

class TestAccessibleNames : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(appDir.isValid()); }

    void loginFieldsAreNamedByTheirLabels()
    {
        frmMain window;
        QCOMPARE(nameOf(window.txtDomain), QStringLiteral("domain"));
        QCOMPARE(nameOf(window.txtAccount), QStringLiteral("account"));
        QCOMPARE(nameOf(window.txtPassWord), QStringLiteral("password"));
        QCOMPARE(labelsOf(window.txtDomain), QStringList { QStringLiteral("domain") });
        // Typed text is read back too: the password field shows what is typed, unmasked.
        window.txtPassWord->setText(QStringLiteral("pw"));
        QAccessibleInterface* field = QAccessible::queryAccessibleInterface(window.txtPassWord);
        QCOMPARE(field->text(QAccessible::Value), QStringLiteral("pw"));
        QVERIFY(!field->state().passwordEdit);
    }

    void treeListAndButtonsSayWhatTheyAre()
    {
        frmMain window;
        for (const auto& [widget, name] : { std::pair<QWidget*, const char*>(window.tvNode, "ディレクトリのツリー"),
                 { window.lvList, "オブジェクトの一覧" }, { window.cmdConnect, "接続" },
                 { window.cmdDisConect, "切断" }, { window.cmdClose, "終了" } })
            QCOMPARE(nameOf(widget), QString::fromUtf8(name));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        everyReachableControlIsNamed(&window);
    }

    void hiddenButtonsAndTheMenuAreNotReachable()
    {
        frmMain window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QAccessibleInterface* root = QAccessible::queryAccessibleInterface(&window);
        QVERIFY(root);
        QStringList shownButtons;
        for (int i = 0; i < root->childCount(); ++i) {
            QAccessibleInterface* child = root->child(i);
            QVERIFY(child->role() != QAccessible::PopupMenu && child->role() != QAccessible::MenuBar);
            if (child->role() == QAccessible::Button && !child->state().invisible)
                shownButtons << child->text(QAccessible::Name);
        }
        QCOMPARE(
            shownButtons, (QStringList { QStringLiteral("接続"), QStringLiteral("切断"), QStringLiteral("終了") }));
        for (QPushButton* probe : { window.Command1, window.Command5, window.Command8 }) {
            QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(probe);
            QVERIFY(iface->state().invisible);
            QVERIFY(!iface->state().focusable || !probe->isVisible());
        }
    }

    void detailFieldsAreNamedByTheirLabels()
    {
        QDialog dialog;
        Ui::frmDet ui;
        ui.setupUi(&dialog);
        const std::pair<QWidget*, const char*> fields[] = {
            { ui.txtOuName, "名称" },
            { ui.txtCompName, "名称" },
            { ui.txtGrpName, "名称" },
            { ui.txtUsrName, "名称" },
            { ui.txtDisName, "表示名" },
            { ui.txtLastName, "姓" },
            { ui.txtGivenName, "名" },
            { ui.lstGrpGroup, "メンバ" },
            { ui.lstGrpMember, "所属するグループ" },
            { ui.lstUsrGroup, "所属するグループ" },
        };
        for (const auto& [widget, name] : fields)
            QCOMPARE(nameOf(widget), QString::fromUtf8(name));
        QCOMPARE(nameOf(ui.cmdClose), QStringLiteral("閉じる"));
        for (int tab = 0; tab < ui.sstDet->count(); ++tab) {
            ui.sstDet->setCurrentIndex(tab);
            dialog.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dialog));
            everyReachableControlIsNamed(&dialog);
        }
        QVERIFY(QAccessible::queryAccessibleInterface(ui.cmdUpdate)->state().invisible);
        QAccessibleInterface* tabs = QAccessible::queryAccessibleInterface(ui.sstDet->tabBar());
        QStringList titles;
        for (int i = 0; i < tabs->childCount(); ++i)
            if (tabs->child(i)->role() == QAccessible::PageTab)
                titles << tabs->child(i)->text(QAccessible::Name);
        QCOMPARE(titles,
            (QStringList {
                QStringLiteral("OU"), QStringLiteral("Computer"), QStringLiteral("Group"), QStringLiteral("User") }));
    }

private:
    AppFolderScope appDir;
};

QTEST_MAIN(TestAccessibleNames)
#include "test_AccessibleNames.moc"
