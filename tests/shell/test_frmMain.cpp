// frmMain as built from its layout, and its lifecycle: start, "終了", title-bar close.
#include "MainWindowFixture.h"
#include "TestFiles.h"
#include "ViewItems.h"
#include "VisibleLayout.h"
#include "browser/NodeTreeModel.h"
#include "browser/ObjectListModel.h"
#include "platform/AppInfo.h"
#include "platform/MessageBox.h"
#include "shell/UiFont.h"
#include "shell/frmMain.h"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QTreeView>

using namespace testfiles;
using namespace viewitems;

class TestFrmMain : public QObject, MainWindowFixture {
    Q_OBJECT

private slots:
    void initTestCase() { shell::applyJapaneseUiFont(); }
    void init() { startCaseWithWindow(); }
    void cleanup() { endCase(); }

    void startShowsNoMenuBarAndNoProbeButtons()
    {
        QVERIFY(window->findChildren<QMenuBar*>().isEmpty());
        QVERIFY(!window->mnuPopup->isVisible());
        for (int i = 1; i <= 8; ++i) {
            auto* button = window->findChild<QPushButton*>(QStringLiteral("Command%1").arg(i));
            QVERIFY(button);
            QCOMPARE(button->text(), QStringLiteral("Command%1").arg(i));
            QVERIFY(!button->isVisible());
        }
        QVERIFY(window->cmdConnect->isVisible());
        QCOMPARE(window->windowTitle(), QStringLiteral("オブジェクト管理"));
    }

    void tabWalksTheVisibleControlsInTabIndexOrder()
    {
        QCOMPARE(QApplication::focusWidget(), window->txtDomain);
        QStringList order;
        for (int i = 0; i < 10; ++i) {
            order << QApplication::focusWidget()->objectName();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        QCOMPARE(order,
            QStringList({ "txtDomain", "txtAccount", "txtPassWord", "cmdConnect", "cmdDisConect", "cmdClose", "tvNode",
                "lvList", "Picture1", "txtDomain" }));
    }

    void enterAndSpacePressTheFocusedButton_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("clicks");
        for (const char* name : { "cmdConnect", "cmdDisConect", "cmdClose" }) {
            QTest::addRow("Return on %s", name) << QString::fromLatin1(name) << int(Qt::Key_Return) << true;
            QTest::addRow("keypad Enter on %s", name) << QString::fromLatin1(name) << int(Qt::Key_Enter) << true;
            QTest::addRow("Space on %s", name) << QString::fromLatin1(name) << int(Qt::Key_Space) << true;
        }
        QTest::newRow("Return in a text box") << QStringLiteral("txtDomain") << int(Qt::Key_Return) << false;
    }
    void enterAndSpacePressTheFocusedButton()
    {
        QFETCH(QString, button);
        QFETCH(int, key);
        QFETCH(bool, clicks);
        QStringList clicked;
        for (QPushButton* each : window->findChildren<QPushButton*>())
            connect(each, &QPushButton::clicked, this, [&clicked, each] { clicked.append(each->objectName()); });
        auto* focused = window->findChild<QWidget*>(button);
        focused->setFocus();
        QTest::keyClick(focused, Qt::Key(key), key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
        QCOMPARE(clicked, clicks ? QStringList { button } : QStringList());
        recorder.boxes.clear();
    }

    void listShowsItsThreeHeadingsAndNoRows()
    {
        QTreeView* list = window->lvList;
        const QAbstractItemModel* columns = list->model();
        QCOMPARE(columns->columnCount(), 3);
        QCOMPARE(columns->headerData(0, Qt::Horizontal).toString(), QStringLiteral("No"));
        QCOMPARE(columns->headerData(1, Qt::Horizontal).toString(), QStringLiteral("種類"));
        QCOMPARE(columns->headerData(2, Qt::Horizontal).toString(), QStringLiteral("名称"));
        QVERIFY(list->header()->isVisible());
        QCOMPARE(rowCount(list), 0);
        QCOMPARE(rowCount(window->tvNode), 0);
        QVERIFY(window->tvNode->isHeaderHidden());
    }

    // Whole inside the window as a person sees it in the program's font, and left where they are
    // when the window is resized.
    void controlsSitWhereTheLayoutPutsThemWhateverTheWindowSize_data()
    {
        QTest::addColumn<QString>("name");
        for (const char* name :
            { "Picture1", "Label2", "txtPassWord", "cmdDisConect", "Command8", "tvNode", "lvList", "lblMsg" })
            QTest::newRow(name) << QString::fromLatin1(name);
    }
    void controlsSitWhereTheLayoutPutsThemWhateverTheWindowSize()
    {
        QFETCH(QString, name);
        QCOMPARE(visiblelayout::problems(window.get()), QString());
        auto* control = window->findChild<QWidget*>(name);
        QVERIFY(control);
        const QRect placed = control->geometry();
        QVERIFY(window->rect().contains(placed));
        for (const QSize size : { QSize(1200, 800), QSize(300, 200) }) {
            window->resize(size);
            QCoreApplication::processEvents();
            QCOMPARE(control->geometry(), placed);
        }
    }

    // Where the frame goes before the window manager has drawn it depends on the platform: the
    // centre may be off by the frame's size, not more.
    void windowStartsCentredOnTheScreen()
    {
        const QPoint screen = window->screen()->availableGeometry().center();
        const QRect frame = window->frameGeometry();
        const int slack = qMax(frame.width() - window->width(), frame.height() - window->height()) + 1;
        QVERIFY(qAbs(frame.center().x() - screen.x()) <= slack);
        QVERIFY(qAbs(frame.center().y() - screen.y()) <= slack);
    }

    void passwordIsShownAsTyped()
    {
        QTest::keyClicks(window->txtPassWord, QStringLiteral("s3cret"));
        QCOMPARE(window->txtPassWord->displayText(), QStringLiteral("s3cret"));
    }

    void logoIsAColourImageInASunkenTwoPixelFrame()
    {
        const QPixmap logo = window->Picture1->pixmap();
        QCOMPARE(logo.size(), QSize(158, 52));
        QCOMPARE(window->Picture1->frameShadow(), QFrame::Sunken);
        QCOMPARE(window->Picture1->frameWidth(), 2);
        const QImage image = logo.toImage();
        QVERIFY(!image.isGrayscale());
        QCOMPARE(image.pixelColor(0, 0).lightness() > 240, true);
        int dark = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                dark += image.pixelColor(x, y).lightness() < 100;
        QVERIFY(dark > 200);
    }

    void popupMenuHoldsItsTwoItemsWithoutShortcuts()
    {
        QCOMPARE(window->mnuPopup->objectName(), QStringLiteral("mnuPopup"));
        QCOMPARE(window->mnuPopup->title(), QStringLiteral("ポップアップ"));
        const QList<QAction*> items = window->mnuPopup->actions();
        QCOMPARE(items, QList<QAction*>({ window->mnuListOutPut, window->mnuProperty }));
        QCOMPARE(window->mnuListOutPut->text(), QStringLiteral("一覧出力..."));
        QCOMPARE(window->mnuListOutPut->objectName(), QStringLiteral("mnuListOutPut"));
        QCOMPARE(window->mnuProperty->text(), QStringLiteral("プロパティ"));
        QCOMPARE(window->mnuProperty->objectName(), QStringLiteral("mnuProperty"));
        for (QAction* item : items) {
            QVERIFY(item->shortcut().isEmpty());
            QVERIFY(!item->isCheckable());
        }
    }

    void rightClickOnTheTreeDoesNotSelectTheNodeUnderThePointer()
    {
        auto* nodes = qobject_cast<browser::NodeTreeModel*>(window->tvNode->model());
        QVERIFY(nodes);
        const QModelIndex a = nodes->addRoot(QStringLiteral("LDAP://A"), QStringLiteral("A"));
        const QModelIndex b = nodes->addRoot(QStringLiteral("LDAP://B"), QStringLiteral("B"));
        window->tvNode->setCurrentIndex(a);
        // The tree's mouse-up handler may open the popup menu: dismiss it.
        const browsertests::PopupAnswer dismiss;
        const QPoint onB = window->tvNode->visualRect(b).center();
        QTest::mouseClick(window->tvNode->viewport(), Qt::RightButton, {}, onB);
        QCOMPARE(window->tvNode->currentIndex(), a);
        QCOMPARE(window->tvNode->selectionModel()->selectedIndexes(), QModelIndexList { a });
    }

    void middleButtonChangesNothingInTheTreeOrTheList()
    {
        QTreeView* tree = window->tvNode;
        auto* nodes = qobject_cast<browser::NodeTreeModel*>(tree->model());
        auto* rows = qobject_cast<browser::ObjectListModel*>(window->lvList->model());
        QVERIFY(nodes && rows);
        const QModelIndex a = nodes->addRoot(QStringLiteral("LDAP://A"), QStringLiteral("A"));
        const QModelIndex b = nodes->addRoot(QStringLiteral("LDAP://B"), QStringLiteral("B"));
        const QModelIndex c = nodes->addRoot(QStringLiteral("LDAP://C"), QStringLiteral("C"));
        tree->setCurrentIndex(a);
        {
            browser::ObjectListModel::Pending pending(*rows);
            pending.add(browser::SharedText(QStringLiteral("LDAP://CN=u,DC=x"), QStringLiteral("CN=u")),
                QStringLiteral("user"));
        }
        const QModelIndex row = rows->index(0, 0);
        window->lvList->setCurrentIndex(row);
        const QPoint onB = tree->visualRect(b).center();
        const QPoint onC = tree->visualRect(c).center();

        QTest::mouseClick(tree->viewport(), Qt::MiddleButton, {}, onB);
        QTest::mouseDClick(tree->viewport(), Qt::MiddleButton, {}, onB);
        // A drag with the middle button held, from B over C.
        QTest::mousePress(tree->viewport(), Qt::MiddleButton, {}, onB);
        QMouseEvent move(QEvent::MouseMove, QPointF(onC), tree->viewport()->mapToGlobal(QPointF(onC)), Qt::NoButton,
            Qt::MiddleButton, Qt::NoModifier);
        QApplication::sendEvent(tree->viewport(), &move);
        QTest::mouseRelease(tree->viewport(), Qt::MiddleButton, {}, onC);
        QCoreApplication::processEvents();

        QCOMPARE(tree->currentIndex(), a);
        QCOMPARE(tree->selectionModel()->selectedIndexes(), QModelIndexList { a });
        QCOMPARE(nodes->rowCount(), 3);
        QVERIFY(!window->mnuPopup->isVisible());
        QCOMPARE(rows->rowCount(), 1);
        QCOMPARE(window->lvList->currentIndex(), row);
        QCOMPARE(window->lvList->selectionModel()->selectedRows(), QModelIndexList { row });

        // The left button still selects.
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, onC);
        QCOMPARE(tree->currentIndex(), c);
        recorder.boxes.clear();
    }

    void closingALockedWindowSavesTheThreeTextsWithoutAQuestion()
    {
        window->txtDomain->setText(QStringLiteral("example.test"));
        window->txtAccount->setText(QStringLiteral("管理者"));
        window->txtPassWord->setText(QStringLiteral("pw"));
        for (QWidget* w : std::initializer_list<QWidget*> {
                 window->txtDomain, window->txtAccount, window->txtPassWord, window->cmdConnect })
            w->setEnabled(false);
        QCOMPARE(runUntilQuit([this] { window->close(); }), 0);
        QVERIFY(!window->isVisible());
        QCOMPARE(readBytes(appFolder->filePath("data.ini")),
            sjis(QStringLiteral("[Data]\r\nDOMAIN=example.test\r\nACCOUNT=管理者\r\nPASSWORD=pw\r\n")));
    }

    void exitButtonRunsTheSameUnloadAndEndsTheProgram()
    {
        window->txtAccount->setText(QStringLiteral("adm"));
        QCOMPARE(runUntilQuit([this] { QTest::mouseClick(window->cmdClose, Qt::LeftButton); }), 0);
        QVERIFY(!window->isVisible());
        QCOMPARE(readBytes(appFolder->filePath("data.ini")),
            QByteArray("[Data]\r\nDOMAIN=\r\nACCOUNT=adm\r\nPASSWORD=\r\n"));
    }

private:
    // Runs the program's event loop with action as its first event; the loop's exit code, or -1
    // when the application did not quit by itself.
    template <class Action> int runUntilQuit(Action action)
    {
        QTimer::singleShot(0, window.get(), action);
        QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(-1); });
        return QApplication::exec();
    }
};

QTEST_MAIN(TestFrmMain)
#include "test_frmMain.moc"
