#pragma once

// What a person does to the main window, and the answers to the dialog, the popup menu and the
// details window that the action opens.

#include "ViewItems.h"
#include "details/frmDet.h"
#include "platform/CommonDialog.h"
#include "shell/frmMain.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <functional>
#include <memory>
#include <optional>

namespace browsertests {

using namespace viewitems;

// Answers the save dialog for as long as it lives: the next answers in order (nullopt cancels),
// recording the name each showing offered.
class SaveDialogAnswers {
public:
    SaveDialogAnswers()
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
    ~SaveDialogAnswers() { platform::CommonDialog::setSaveAnswer(std::move(previous)); }
    SaveDialogAnswers(const SaveDialogAnswers&) = delete;
    SaveDialogAnswers& operator=(const SaveDialogAnswers&) = delete;

    QList<std::optional<QString>> answers;
    QStringList offered;
    QStringList nameFilters;
    QFileDialog::Options options;
    QString defaultSuffix;

private:
    platform::CommonDialog::SaveAnswer previous;
};

// Looks every 10 ms, from its making, for the window `find` names (null while there is none) and
// hands the first one to `answer`, once: how a case answers a window its next action brings up.
template <class Window> class WhenShown {
public:
    WhenShown(std::function<Window*()> find, std::function<void(Window&)> answer)
    {
        QObject::connect(&timer, &QTimer::timeout, &timer, [this, find, answer] {
            if (Window* window = find()) {
                timer.stop();
                answer(*window);
            }
        });
        timer.start(10);
    }

private:
    QTimer timer;
};

// What to do with a popup menu that opens during the next user action.
class PopupAnswer {
public:
    // itemName: the objectName of the action to click; empty closes the menu unchosen.
    explicit PopupAnswer(QString itemName = {})
        : itemName(std::move(itemName))
    { }

    bool shown() const { return !items.isEmpty(); }
    // The items of the menu that was shown, by caption.
    QStringList items;

private:
    void answer(QMenu& menu)
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

    QString itemName;
    WhenShown<QMenu> watch { [] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); },
        [this](QMenu& menu) { answer(menu); } };
};

// The details window on screen as the modal one, else null.
inline frmDet* shownDetails()
{
    auto* det = qobject_cast<frmDet*>(QApplication::activeModalWidget());
    return det && det->isVisible() ? det : nullptr;
}

// Closes the details window that comes up during the next user action, noting what it showed.
class DetailsCloser {
public:
    bool shown = false;
    int tab = -1;
    QString computerName;
    QString userName;
    QString lastName;

private:
    void answer(frmDet& det)
    {
        shown = true;
        tab = det.sstDet->currentIndex();
        computerName = det.txtCompName->text();
        userName = det.txtUsrName->text();
        lastName = det.txtLastName->text();
        det.close();
    }
    WhenShown<frmDet> watch { shownDetails, [this](frmDet& det) { answer(det); } };
};

// A person's click on a node; the node is scrolled into view first (its parents expanded, as a
// person opens them with the arrow).
inline void clickNode(QTreeView* tree, const QModelIndex& node, Qt::MouseButton button = Qt::LeftButton)
{
    QVERIFY(node.isValid());
    for (QModelIndex parent = node.parent(); parent.isValid(); parent = parent.parent())
        tree->expand(parent);
    tree->scrollTo(node);
    const QRect rect = tree->visualRect(node);
    QVERIFY(rect.isValid());
    QTest::mouseClick(tree->viewport(), button, {}, rect.center());
}

// A person's double-click on a row of the list, scrolled into view first.
inline void doubleClickRow(QTreeView* list, const QModelIndex& row)
{
    list->scrollTo(row);
    const QPoint at = list->visualRect(row).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
}

// A click below the last node of the tree.
inline void clickBelowLastNode(QTreeView* tree, Qt::MouseButton button)
{
    QTest::mouseClick(tree->viewport(), button, {}, QPoint(20, tree->viewport()->height() - 5));
}

inline void click(QPushButton* button)
{
    QTest::mouseClick(button, Qt::LeftButton);
}

inline std::unique_ptr<frmMain> openMainWindow()
{
    auto window = std::make_unique<frmMain>();
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get()))
        qWarning("the main window was not exposed");
    return window;
}

// The main window with the login fields filled in as a person types them.
inline std::unique_ptr<frmMain> openMainWindow(const QString& domain, const QString& account, const QString& password)
{
    auto window = openMainWindow();
    window->txtDomain->setText(domain);
    window->txtAccount->setText(account);
    window->txtPassWord->setText(password);
    return window;
}

} // namespace browsertests
