// The details window as its layout builds it, before anything fills it, seen as a person sees it
// with the program's font.
#include "VisibleLayout.h"
#include "shell/UiFont.h"
#include "ui_frmDet.h"

#include <QApplication>
#include <QTest>
#include <memory>

class TestFrmDetLayout : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { shell::applyJapaneseUiFont(); }
    void init()
    {
        dialog = std::make_unique<QDialog>();
        ui = std::make_unique<Ui::frmDet>();
        ui->setupUi(dialog.get());
        dialog->show();
        QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
    }
    void cleanup()
    {
        ui.reset();
        dialog.reset();
    }

    void freshWindowShowsTabUserInFront()
    {
        QCOMPARE(dialog->windowTitle(), QStringLiteral("詳細"));
        QCOMPARE(visiblelayout::problems(dialog.get()), QString());
        const Qt::WindowFlags flags = dialog->windowFlags();
        QVERIFY(flags & Qt::WindowCloseButtonHint);
        QVERIFY(
            !(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint | Qt::WindowContextHelpButtonHint)));
        QCOMPARE(ui->sstDet->count(), 4);
        const QStringList titles { "OU", "Computer", "Group", "User" };
        for (int i = 0; i < 4; ++i)
            QCOMPARE(ui->sstDet->tabText(i), titles[i]);
        QCOMPARE(ui->sstDet->currentIndex(), 3);
        QVERIFY(ui->txtUsrName->isVisible());
        QVERIFY(!ui->txtGrpName->isVisible());
    }

    void tabsShareOneRowInEqualWidths()
    {
        const QTabBar* bar = ui->sstDet->tabBar();
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(bar->tabRect(i).width(), bar->tabRect(0).width());
            QCOMPARE(bar->tabRect(i).top(), 0);
            QCOMPARE(bar->tabRect(i).height(), bar->tabRect(0).height());
        }
    }

    void sevenDisplayFieldsAreDisabledAndShowText1()
    {
        const QList<QLineEdit*> boxes = dialog->findChildren<QLineEdit*>();
        QCOMPARE(boxes.size(), 7);
        for (const QLineEdit* box : boxes) {
            QCOMPARE(box->text(), QStringLiteral("Text1"));
            QVERIFY(!box->isEnabled());
        }
    }

    void tabKeyNeverLandsOnATextBoxAndNoUpdateButtonShows_data()
    {
        QTest::addColumn<int>("tab");
        QTest::addColumn<QStringList>("stops");
        QTest::newRow("OU") << 0 << QStringList { "cmdClose" };
        QTest::newRow("Group") << 2 << QStringList { "lstGrpGroup", "lstGrpMember", "cmdClose" };
        QTest::newRow("User") << 3 << QStringList { "lstUsrGroup", "cmdClose" };
    }
    // Also guards the focus chain itself: naming sstDet in the layout's tab stops makes Qt 6.4
    // split the chain at the tab control's focus proxy, and Tab then never leaves the tab strip.
    void tabKeyNeverLandsOnATextBoxAndNoUpdateButtonShows()
    {
        QFETCH(int, tab);
        QFETCH(QStringList, stops);
        ui->sstDet->setCurrentIndex(tab);
        ui->sstDet->tabBar()->setFocus(Qt::TabFocusReason);
        QStringList seen;
        for (int i = 0; i < 12; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget* focus = QApplication::focusWidget();
            QVERIFY(!qobject_cast<QLineEdit*>(focus));
            if (focus != ui->sstDet->tabBar() && !seen.contains(focus->objectName()))
                seen << focus->objectName();
        }
        QCOMPARE(seen, stops);
        QVERIFY(!ui->cmdUpdate->isVisible());
        QCOMPARE(ui->cmdUpdate->text(), QStringLiteral("更新"));
        QCOMPARE(ui->cmdClose->text(), QStringLiteral("閉じる"));
    }

    // Each page whole in the window, nothing over anything, every caption whole; the row's field
    // beside or under its label, and "閉じる" under the tab control at its right edge.
    void pageControlsAreSeenWholeByTheirLabels_data()
    {
        QTest::addColumn<int>("tab");
        QTest::addColumn<QString>("label");
        QTest::addColumn<bool>("above");
        QTest::newRow("txtOuName") << 0 << "Label1" << false;
        QTest::newRow("txtCompName") << 1 << "Label2" << false;
        QTest::newRow("lstGrpGroup") << 2 << "Label8" << true;
        QTest::newRow("txtGrpName") << 2 << "Label3" << false;
        QTest::newRow("lstGrpMember") << 2 << "Label9" << true;
        QTest::newRow("txtGivenName") << 3 << "Label7" << false;
        QTest::newRow("lstUsrGroup") << 3 << "Label10" << true;
    }
    void pageControlsAreSeenWholeByTheirLabels()
    {
        QFETCH(int, tab);
        QFETCH(QString, label);
        QFETCH(bool, above);
        ui->sstDet->setCurrentIndex(tab);
        QCoreApplication::processEvents();
        auto* caption = dialog->findChild<QLabel*>(label);
        QVERIFY(caption && caption->isVisible() && caption->buddy()->isVisible());
        QCOMPARE(caption->buddy()->objectName(), QString::fromLatin1(QTest::currentDataTag()));
        QCOMPARE(
            visiblelayout::placeOf(caption, dialog.get()), above ? QStringLiteral("above") : QStringLiteral("beside"));
        QCOMPARE(visiblelayout::problems(dialog.get()), QString());
        const QRect tabs = ui->sstDet->geometry();
        QVERIFY(ui->cmdClose->geometry().top() > tabs.bottom());
        QCOMPARE(ui->cmdClose->geometry().right(), tabs.right());
    }

    void membersListIsTheOneUnderItsLabel()
    {
        ui->sstDet->setCurrentIndex(2);
        QCOMPARE(ui->Label8->text(), QStringLiteral("メンバ"));
        QCOMPARE(ui->Label9->text(), QStringLiteral("所属するグループ"));
        QVERIFY(ui->Label8->geometry().top() < ui->lstGrpGroup->geometry().top());
        QVERIFY(ui->lstGrpGroup->geometry().bottom() < ui->Label9->geometry().top());
        QVERIFY(ui->Label9->geometry().top() < ui->lstGrpMember->geometry().top());
        for (const QListWidget* list : { ui->lstGrpGroup, ui->lstGrpMember, ui->lstUsrGroup }) {
            QCOMPARE(list->selectionMode(), QAbstractItemView::SingleSelection);
            QVERIFY(!list->isSortingEnabled());
        }
    }

private:
    std::unique_ptr<QDialog> dialog;
    std::unique_ptr<Ui::frmDet> ui;
};

QTEST_MAIN(TestFrmDetLayout)
#include "test_frmDetLayout.moc"
