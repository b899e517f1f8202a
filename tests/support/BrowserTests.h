#pragma once

// Helpers of the browser tests: what the window shows, what a person does to it, and the
// seams that record message boxes and answer the save dialog and the popup menu.

#include "DirectoryScope.h"
#include "MessageRecorder.h"
#include "ViewItems.h"
#include "browser/NodeTreeModel.h"
#include "browser/ObjectListModel.h"
#include "details/frmDet.h"
#include "directory/Directory.h"
#include "platform/CommonDialog.h"
#include "platform/MessageBox.h"
#include "shell/frmMain.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <memory>
#include <optional>

namespace browsertests {

using namespace viewitems;

struct Row {
    QString no;
    QString className;
    QString name;
    QString tag;
    bool operator==(const Row&) const = default;
};

inline QList<Row> listRows(const QTreeView* list)
{
    QList<Row> rows;
    const QAbstractItemModel* model = list->model();
    for (int i = 0; i < model->rowCount(); ++i) {
        rows.append({ model->index(i, 0).data().toString(), model->index(i, 1).data().toString(),
            model->index(i, 2).data().toString(),
            model->index(i, 0).data(browser::ObjectListModel::TagRole).toString() });
    }
    return rows;
}

// The child whose key is `key`, as an index that stays valid while the node is in the tree.
inline QPersistentModelIndex childWithKey(const QModelIndex& node, const QString& key)
{
    for (int i = 0; i < childCount(node); ++i) {
        if (keyOf(child(node, i)) == key)
            return child(node, i);
    }
    return {};
}

// Every node of the tree, depth first.
inline int nodeCount(const QTreeView* tree)
{
    int count = 0;
    QList<QModelIndex> pending;
    for (int i = 0; i < rowCount(tree); ++i)
        pending.append(topNode(tree, i));
    while (!pending.isEmpty()) {
        const QModelIndex node = pending.takeLast();
        ++count;
        for (int i = 0; i < childCount(node); ++i)
            pending.append(child(node, i));
    }
    return count;
}

inline QModelIndex selectedNode(const QTreeView* view)
{
    return browser::selectedIndex(view);
}

// The row that lists the entry `dn`, or null.
inline const Row* rowWithDn(const QList<Row>& rows, const QString& dn)
{
    for (const Row& row : rows) {
        if (row.tag == QStringLiteral("LDAP://") + dn)
            return &row;
    }
    return nullptr;
}

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

// What to do with a popup menu that opens during the next user action.
class PopupAnswer {
public:
    // itemName: the objectName of the action to click; empty closes the menu unchosen.
    explicit PopupAnswer(QString itemName = {})
        : itemName(std::move(itemName))
    {
        QObject::connect(&timer, &QTimer::timeout, &timer, [this] { answer(); });
        timer.start(10);
    }

    bool shown() const { return !items.isEmpty(); }
    // The items of the menu that was shown, by caption.
    QStringList items;

private:
    void answer()
    {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu)
            return;
        timer.stop();
        for (QAction* action : menu->actions())
            items.append(action->text());
        QAction* chosen = nullptr;
        for (QAction* action : menu->actions()) {
            if (!itemName.isEmpty() && action->objectName() == itemName)
                chosen = action;
        }
        if (chosen)
            chooseFromMenu(menu, chosen);
        else
            menu->close();
    }

    QString itemName;
    QTimer timer;
};

// Closes the details window that comes up during the next user action, noting what it showed.
class DetailsCloser {
public:
    DetailsCloser()
    {
        QObject::connect(&timer, &QTimer::timeout, &timer, [this] { answer(); });
        timer.start(10);
    }
    bool shown = false;
    int tab = -1;
    QString computerName;
    QString userName;
    QString lastName;

private:
    void answer()
    {
        auto* det = qobject_cast<frmDet*>(QApplication::activeModalWidget());
        if (!det || !det->isVisible())
            return;
        timer.stop();
        shown = true;
        tab = det->sstDet->currentIndex();
        computerName = det->txtCompName->text();
        userName = det->txtUsrName->text();
        lastName = det->txtLastName->text();
        det->close();
    }
    QTimer timer;
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

inline QByteArray readBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Passes every call on to the directory that was in place and counts them.
class CountingDirectory : public directory::Directory {
public:
    directory::DirObject bind(const QString& adsPath) override
    {
        ++calls;
        return inner->bind(adsPath);
    }
    void enumerate(const directory::DirObject& container, const QStringList& classFilter,
        const std::function<void(const Batch&)>& onBatch) override
    {
        ++calls;
        inner->enumerate(container, classFilter, onBatch);
    }
    QStringList members(const directory::DirObject& group) override
    {
        ++calls;
        return inner->members(group);
    }
    std::vector<directory::ReadResult> readEach(const QStringList& adsPaths, const QString& propertyName) override
    {
        ++calls;
        return inner->readEach(adsPaths, propertyName);
    }
    std::vector<directory::ReadResult> readRelated(
        const QStringList& adsPaths, const QString& propertyName, const directory::Related& related) override
    {
        ++calls;
        return inner->readRelated(adsPaths, propertyName, related);
    }
    directory::DirObject openDSObject(const QString& adsPath, const QString& user, const QString& password) override
    {
        ++calls;
        return inner->openDSObject(adsPath, user, password);
    }

    directory::Directory* inner = nullptr;
    int calls = 0;
};

// Puts a counting directory in front of the current one for as long as it lives.
class CountedDirectory {
public:
    CountedDirectory() { scope.directory->inner = scope.previous(); }

    int calls() const { return scope.directory->calls; }

private:
    // Makes sure there is a current directory to stand in front of.
    static std::unique_ptr<CountingDirectory> inFront()
    {
        directory::currentDirectory();
        return std::make_unique<CountingDirectory>();
    }

    DirectoryScope<CountingDirectory> scope { inFront() };
};

struct ServerEntry {
    QString dn;
    QString className;
};

// The children of the five classes of `dn` as ldapsearch gets them from the test directory (the
// same LDAPCONF), with a paged search: the order and the content the server gives.
inline QList<ServerEntry> serverChildren(const QString& dn)
{
    QProcess ldapsearch;
    ldapsearch.start(QStringLiteral("ldapsearch"),
        { QStringLiteral("-Q"), QStringLiteral("-LLL"), QStringLiteral("-o"), QStringLiteral("ldif-wrap=no"),
            QStringLiteral("-E"), QStringLiteral("pr=1000/noprompt"), QStringLiteral("-s"), QStringLiteral("one"),
            QStringLiteral("-b"), dn,
            QStringLiteral("(|(objectClass=container)(objectClass=organizationalUnit)(objectClass=group)"
                           "(objectClass=computer)(objectClass=user))"),
            QStringLiteral("structuralObjectClass") });
    QList<ServerEntry> entries;
    if (!ldapsearch.waitForFinished(60000) || ldapsearch.exitCode() != 0) {
        qWarning("ldapsearch failed: %s", ldapsearch.readAllStandardError().constData());
        return entries;
    }
    const QStringList lines = QString::fromUtf8(ldapsearch.readAllStandardOutput()).split(u'\n');
    for (const QString& line : lines) {
        if (line.startsWith(QLatin1String("dn:: ")))
            entries.append({ QString::fromUtf8(QByteArray::fromBase64(line.mid(5).toLatin1())), {} });
        else if (line.startsWith(QLatin1String("dn: ")))
            entries.append({ line.mid(4), {} });
        else if (line.startsWith(QLatin1String("structuralObjectClass: ")) && !entries.isEmpty())
            entries.last().className = line.mid(23);
    }
    return entries;
}

inline QString firstRdnOf(const QString& dn)
{
    for (qsizetype i = 0; i < dn.size(); ++i) {
        if (dn.at(i) == u'\\')
            ++i;
        else if (dn.at(i) == u',')
            return dn.left(i);
    }
    return dn;
}

// The rows a listing of those entries shows.
inline QList<Row> rowsFor(const QList<ServerEntry>& entries)
{
    QList<Row> rows;
    int number = 1;
    for (const ServerEntry& entry : entries)
        rows.append(
            { QString::number(number++), entry.className, firstRdnOf(entry.dn), QStringLiteral("LDAP://") + entry.dn });
    return rows;
}

} // namespace browsertests

namespace QTest {
template <> inline char* toString(const browsertests::Row& row)
{
    return qstrdup(QStringLiteral("[%1|%2|%3|%4]").arg(row.no, row.className, row.name, row.tag).toUtf8().constData());
}
} // namespace QTest
