#include "UserActions.h"

#include <QApplication>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTreeView>

namespace browsertests {

SaveDialogAnswers::SaveDialogAnswers()
{
    previous = platform::CommonDialog::setSaveAnswer([this](QFileDialog& dialog) -> std::optional<QString> {
        const QStringList selected = dialog.selectedFiles();
        // With no name in it the dialog gives its folder.
        const bool named = !selected.isEmpty() && !QFileInfo(selected.constFirst()).isDir();
        offered.append(named ? selected.constFirst() : QString());
        nameFilters = dialog.nameFilters();
        options = dialog.options();
        defaultSuffix = dialog.defaultSuffix();
        if (answers.isEmpty())
            return std::nullopt;
        return answers.takeFirst();
    });
}

PopupAnswer::PopupAnswer(QString itemName)
    : itemName(std::move(itemName))
    , watch(
          [] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); }, [this](QMenu& menu) { answer(menu); })
{ }

void PopupAnswer::answer(QMenu& menu)
{
    QAction* chosen = nullptr;
    for (QAction* action : menu.actions()) {
        items.append(action->text());
        if (!itemName.isEmpty() && action->objectName() == itemName)
            chosen = action;
    }
    if (chosen)
        chooseFromMenu(&menu, chosen);
    else
        menu.close();
}

frmDet* shownDetails()
{
    auto* det = qobject_cast<frmDet*>(QApplication::activeModalWidget());
    return det && det->isVisible() ? det : nullptr;
}

DetailsCloser::DetailsCloser()
    : watch(shownDetails, [this](frmDet& det) { answer(det); })
{ }

void DetailsCloser::answer(frmDet& det)
{
    shown = true;
    tab = det.sstDet->currentIndex();
    computerName = det.txtCompName->text();
    userName = det.txtUsrName->text();
    lastName = det.txtLastName->text();
    det.close();
}

void clickNode(QTreeView* tree, const QModelIndex& node, Qt::MouseButton button)
{
    QVERIFY(node.isValid());
    for (QModelIndex parent = node.parent(); parent.isValid(); parent = parent.parent())
        tree->expand(parent);
    tree->scrollTo(node);
    const QRect rect = tree->visualRect(node);
    QVERIFY(rect.isValid());
    QTest::mouseClick(tree->viewport(), button, {}, rect.center());
}

void doubleClickRow(QTreeView* list, const QModelIndex& row)
{
    list->scrollTo(row);
    const QPoint at = list->visualRect(row).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
}

void clickBelowLastNode(QTreeView* tree, Qt::MouseButton button)
{
    QTest::mouseClick(tree->viewport(), button, {}, QPoint(20, tree->viewport()->height() - 5));
}

void click(QPushButton* button)
{
    QTest::mouseClick(button, Qt::LeftButton);
}

std::unique_ptr<frmMain> openMainWindow()
{
    auto window = std::make_unique<frmMain>();
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get()))
        qWarning("the main window was not exposed");
    return window;
}

std::unique_ptr<frmMain> openMainWindow(const QString& domain, const QString& account, const QString& password)
{
    auto window = openMainWindow();
    window->txtDomain->setText(domain);
    window->txtAccount->setText(account);
    window->txtPassWord->setText(password);
    return window;
}

} // namespace browsertests
