// Opening the details window from the main window, as a person does it: a double-click on a row
// of the list, "プロパティ" on the tree's popup menu. Against the sample directory on slapd.
#include "BrowserTests.h"
#include "DetailsTestSupport.h"
#include "MainWindowFixture.h"
#include "TestDirectory.h"
#include "browser/NodeTreeModel.h"
#include "browser/ObjectListModel.h"
#include "shell/frmMain.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QTreeView>

using platform::MessageIcon;
using TestDirectory::adsPath;
using namespace browsertests;

namespace {

const QString rootKey = QStringLiteral("LDAP://DC=example,DC=test");

// What a details window showed while it was up.
struct Seen {
    QPointer<frmDet> window;
    bool visible;
    bool modal;
    bool owned;
    bool updateVisible;
    int tab;
    QStringList textBoxes;
    QStringList members;
    QStringList memberships;
    QStringList userGroups;
};

// Answers what comes up modally during a user action: chooses `menuItem` on a popup menu, and
// looks at each details window and closes it, with "閉じる" or the title bar.
class ModalAnswers {
public:
    explicit ModalAnswers(QString menuItem = {}, bool closeByTitleBar = false)
        : menuItem_(std::move(menuItem))
        , closeByTitleBar_(closeByTitleBar)
    {
        QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] { answer(); });
        timer_.start(0);
    }

    QList<Seen> seen;
    bool menuShown = false;

private:
    void answer()
    {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            menuShown = true;
            for (QAction* action : menu->actions()) {
                if (action->objectName() == menuItem_) {
                    // Clicked from the menu's own loop: the item opens a modal window, and this
                    // timer does not fire again while its own slot is still running.
                    QTimer::singleShot(0, menu, [menu, action] { chooseFromMenu(menu, action); });
                    return;
                }
            }
            menu->close();
            return;
        }
        auto* det = qobject_cast<frmDet*>(QApplication::activeModalWidget());
        if (!det || !det->isVisible())
            return;
        seen.append({ det, det->isVisible(), det->isModal(), det->parentWidget() != nullptr,
            det->cmdUpdate->isVisible(), det->sstDet->currentIndex(), textBoxesOf(*det), entriesOf(det->lstGrpGroup),
            entriesOf(det->lstGrpMember), entriesOf(det->lstUsrGroup) });
        if (closeByTitleBar_)
            det->close();
        else
            QTest::mouseClick(det->cmdClose, Qt::LeftButton);
    }

    QString menuItem_;
    bool closeByTitleBar_;
    QTimer timer_;
};

// Everything the main window shows in its tree and list, selections included.
QStringList stateOf(const frmMain& window)
{
    QStringList state;
    QList<std::pair<QModelIndex, int>> pending;
    for (int i = rowCount(window.tvNode) - 1; i >= 0; --i)
        pending.append({ topNode(window.tvNode, i), 0 });
    while (!pending.isEmpty()) {
        const auto [node, depth] = pending.takeLast();
        state << QStringLiteral("node %1 %2 %3 %4%5")
                     .arg(depth)
                     .arg(text(node), keyOf(node))
                     .arg(window.tvNode->isExpanded(node) ? "open" : "closed")
                     .arg(window.tvNode->selectionModel()->isSelected(node) ? " selected" : "");
        for (int i = childCount(node) - 1; i >= 0; --i)
            pending.append({ child(node, i), depth + 1 });
    }
    for (int i = 0; i < rowCount(window.lvList); ++i) {
        const QModelIndex row = topNode(window.lvList, i);
        state << QStringLiteral("row %1 %2 %3 %4%5")
                     .arg(text(row), text(row.siblingAtColumn(1)), text(row.siblingAtColumn(2)),
                         row.data(browser::ObjectListModel::TagRole).toString())
                     .arg(window.lvList->selectionModel()->isRowSelected(i) ? " selected" : "");
    }
    const QModelIndex currentNode = window.tvNode->currentIndex();
    const QModelIndex currentRow = window.lvList->currentIndex();
    state << QStringLiteral("current node ") + (currentNode.isValid() ? keyOf(currentNode) : QString());
    state << QStringLiteral("current row ")
            + (currentRow.isValid() ? currentRow.data(browser::ObjectListModel::TagRole).toString() : QString());
    return state;
}

// The state without the current items: giving the tree the focus for its popup menu makes its
// first node the current one.
QStringList rowsAndNodesOf(QStringList state)
{
    state.removeIf([](const QString& line) { return line.startsWith(QStringLiteral("current ")); });
    return state;
}

// Press, release, double-click, release: what a person's double-click sends.
void doubleClickAt(QWidget* viewport, QPoint at)
{
    QTest::mouseClick(viewport, Qt::LeftButton, {}, at);
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, at);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, at);
}

void doubleClickItem(QTreeView* view, QPersistentModelIndex item)
{
    view->scrollTo(item);
    doubleClickAt(view->viewport(), view->visualRect(item).center());
}

} // namespace

class ItOpenDetails : public QObject, BrowsingFixture {
    Q_OBJECT
private slots:
    void init()
    {
        startBrowsing(TestDirectory::domain);
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        click(window->cmdConnect);
        QVERIFY(recorder->boxes.isEmpty());
        QCOMPARE(rowCount(window->tvNode), 1);
    }
    void cleanup()
    {
        endBrowsing();
        verifyDetailsCaseEnded();
    }

    void doubleClickOnARowOpensItsObjectModallyWithNoOwner()
    {
        QPersistentModelIndex row = rowIndexOf(window->lvList, TestDirectory::allStaff);
        QVERIFY(row.isValid());
        ModalAnswers answers;
        doubleClickItem(window->lvList, row);

        QCOMPARE(answers.seen.size(), 1);
        const Seen& seen = answers.seen[0];
        QVERIFY(seen.visible);
        QVERIFY(seen.modal);
        QVERIFY(!seen.owned);
        QVERIFY(!seen.updateVisible);
        QCOMPARE(seen.tab, 2);
        QCOMPARE(seen.textBoxes[2], QStringLiteral("全社員"));
        QCOMPARE(seen.members.size(), 7);
        QCOMPARE(seen.members.first(), QStringLiteral("営業部メンバー"));
        QVERIFY(seen.memberships.isEmpty());
        QCOMPARE(mdlMain::strObjectPath, adsPath(TestDirectory::allStaff));
        // Closing destroyed it.
        QVERIFY(!seen.window);
        QVERIFY(recorder->boxes.isEmpty());
    }

    void propertyOnTheRootNodeWarnsBeforeTheWindowShowsWithEveryFieldEmpty()
    {
        clickNode(window->tvNode, topNode(window->tvNode, 0));
        recorder->boxes.clear();
        ModalAnswers answers(QStringLiteral("mnuProperty"));
        clickBelowLastNode(window->tvNode, Qt::RightButton);

        QVERIFY(answers.menuShown);
        QCOMPARE(mdlMain::strObjectPath, rootKey);
        QCOMPARE(recorder->boxes.size(), 1);
        QCOMPARE(recorder->boxes[0].text, QStringLiteral("このオブジェクトの詳細画面はありません。"));
        QCOMPARE(recorder->boxes[0].icon, MessageIcon::Warning);
        QVERIFY(!recorder->boxes[0].detailsVisible);
        QCOMPARE(recorder->boxes[0].waiting, QStringList { QStringLiteral("frmDet") });
        QCOMPARE(answers.seen.size(), 1);
        QVERIFY(answers.seen[0].visible);
        QCOMPARE(answers.seen[0].tab, 0);
        QCOMPARE(answers.seen[0].textBoxes, QStringList(7, QString()));
        QVERIFY(answers.seen[0].members.isEmpty() && answers.seen[0].memberships.isEmpty()
            && answers.seen[0].userGroups.isEmpty());
    }

    void propertyOpensTheSelectedNodeNotTheOneUnderThePointer()
    {
        QPersistentModelIndex sales = childWithKey(topNode(window->tvNode, 0), adsPath(TestDirectory::sales));
        QVERIFY(sales.isValid());
        clickNode(window->tvNode, sales);
        QPersistentModelIndex users = childWithKey(topNode(window->tvNode, 0), adsPath(TestDirectory::users));
        QVERIFY(users.isValid());
        ModalAnswers answers(QStringLiteral("mnuProperty"));
        // Right-clicking another node selects nothing.
        clickNode(window->tvNode, users, Qt::RightButton);

        QCOMPARE(answers.seen.size(), 1);
        QCOMPARE(answers.seen[0].tab, 0);
        QCOMPARE(answers.seen[0].textBoxes[0], QStringLiteral("営業部"));
        QCOMPARE(mdlMain::strObjectPath, adsPath(TestDirectory::sales));
        QVERIFY(recorder->boxes.isEmpty());
    }

    void withNothingSelectedNeitherOpenerDoesAnything()
    {
        window->tvNode->clearSelection();
        window->lvList->clearSelection();
        const QStringList before = stateOf(*window);
        mdlMain::strObjectPath = QStringLiteral("LDAP://unchanged");
        ModalAnswers answers(QStringLiteral("mnuProperty"));

        // Below the last row of the list, then the handler itself with no row selected.
        doubleClickAt(window->lvList->viewport(), QPoint(20, window->lvList->viewport()->height() - 5));
        window->lvList_DblClick();
        clickBelowLastNode(window->tvNode, Qt::RightButton);
        QVERIFY(answers.menuShown);
        window->mnuProperty_Click();

        QVERIFY(answers.seen.isEmpty());
        QCOMPARE(mdlMain::strObjectPath, QStringLiteral("LDAP://unchanged"));
        QVERIFY(recorder->boxes.isEmpty());
        QVERIFY(window->tvNode->selectionModel()->selectedIndexes().isEmpty());
        QVERIFY(window->lvList->selectionModel()->selectedIndexes().isEmpty());
        QCOMPARE(rowsAndNodesOf(stateOf(*window)), rowsAndNodesOf(before));
    }

    void nodeWithAnEmptyKeyOpensNothing()
    {
        auto* nodes = qobject_cast<browser::NodeTreeModel*>(window->tvNode->model());
        QVERIFY(nodes);
        const QModelIndex keyless = nodes->addRoot(QString(), QStringLiteral("no key"));
        window->tvNode->setCurrentIndex(keyless);
        mdlMain::strObjectPath = QStringLiteral("LDAP://unchanged");
        ModalAnswers answers;

        window->mnuProperty_Click();
        QVERIFY(answers.seen.isEmpty());
        QCOMPARE(mdlMain::strObjectPath, QStringLiteral("LDAP://unchanged"));
    }

    void mainWindowIsAsItWasAfterTheDetailsWindowCloses()
    {
        QPersistentModelIndex sales = childWithKey(topNode(window->tvNode, 0), adsPath(TestDirectory::sales));
        clickNode(window->tvNode, sales);
        QPersistentModelIndex row = rowIndexOf(window->lvList, TestDirectory::salesMembers);
        QVERIFY(row.isValid());
        clickNode(window->lvList, row);
        const QStringList before = stateOf(*window);
        QVERIFY(window->lvList->selectionModel()->isSelected(row));
        QCOMPARE(window->tvNode->selectionModel()->selectedIndexes(), QModelIndexList { sales });

        {
            ModalAnswers answers({}, true);
            doubleClickItem(window->lvList, row);
            QCOMPARE(answers.seen.size(), 1);
            QCOMPARE(answers.seen[0].textBoxes[2], QStringLiteral("営業部メンバー"));
        }
        QCOMPARE(stateOf(*window), before);
        {
            ModalAnswers answers(QStringLiteral("mnuProperty"));
            clickBelowLastNode(window->tvNode, Qt::RightButton);
            QCOMPARE(answers.seen.size(), 1);
            QCOMPARE(answers.seen[0].textBoxes[0], QStringLiteral("営業部"));
        }
        QCOMPARE(stateOf(*window), before);
        QVERIFY(recorder->boxes.isEmpty());
    }

    void closingAndOpeningOnAnotherObjectShowsOnlyTheNewOne()
    {
        ModalAnswers answers;
        doubleClickItem(window->lvList, rowIndexOf(window->lvList, TestDirectory::allStaff));
        doubleClickItem(window->lvList, rowIndexOf(window->lvList, TestDirectory::takahashiNaoko));

        QCOMPARE(answers.seen.size(), 2);
        QVERIFY(!answers.seen[0].window);
        const Seen& user = answers.seen[1];
        QCOMPARE(user.tab, 3);
        QCOMPARE(user.textBoxes, QStringList({ "", "", "", "高橋 直子", "高橋 直子", "高橋", "直子" }));
        QVERIFY(user.members.isEmpty());
        QVERIFY(user.memberships.isEmpty());
        QVERIFY(user.userGroups.isEmpty());
        QVERIFY(recorder->boxes.isEmpty());
    }
};

QTEST_MAIN(ItOpenDetails)
#include "it_OpenDetails.moc"
