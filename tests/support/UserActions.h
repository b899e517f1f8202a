#pragma once

// What a person does to the main window, and the answers to the dialog, the popup menu and the
// details window that the action opens.

#include "ViewItems.h"
#include "details/frmDet.h"
#include "platform/CommonDialog.h"
#include "shell/frmMain.h"

#include <QFileDialog>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

namespace browsertests {

using namespace viewitems;

// Answers the save dialog for as long as it lives: the next answers in order (nullopt cancels),
// recording the name each showing offered.
class SaveDialogAnswers {
public:
    SaveDialogAnswers();
    ~SaveDialogAnswers() { platform::CommonDialog::setSaveAnswer(std::move(previous)); }
    Q_DISABLE_COPY_MOVE(SaveDialogAnswers)

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
    explicit PopupAnswer(QString itemName = {});

    bool shown() const { return !items.isEmpty(); }
    // The items of the menu that was shown, by caption.
    QStringList items;

private:
    void answer(QMenu& menu);

    QString itemName;
    WhenShown<QMenu> watch;
};

// The details window on screen as the modal one, else null.
frmDet* shownDetails();

// Closes the details window that comes up during the next user action, noting what it showed.
class DetailsCloser {
public:
    DetailsCloser();

    bool shown = false;
    int tab = -1;
    QString computerName;
    QString userName;
    QString lastName;

private:
    void answer(frmDet& det);
    WhenShown<frmDet> watch;
};

// A person's click on a node; the node is scrolled into view first (its parents expanded, as a
// person opens them with the arrow).
void clickNode(QTreeView* tree, const QModelIndex& node, Qt::MouseButton button = Qt::LeftButton);

// A person's double-click on a row of the list, scrolled into view first.
void doubleClickRow(QTreeView* list, const QModelIndex& row);

// A click below the last node of the tree.
void clickBelowLastNode(QTreeView* tree, Qt::MouseButton button);

void click(QPushButton* button);

std::unique_ptr<frmMain> openMainWindow();

// The main window with the login fields filled in as a person types them.
std::unique_ptr<frmMain> openMainWindow(const QString& domain, const QString& account, const QString& password);

} // namespace browsertests
