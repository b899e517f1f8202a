// The details window as its layout builds it, before anything fills it.
#include "ui_frmDet.h"

#include <QApplication>
#include <QTest>
#include <memory>

class TestFrmDetLayout : public QObject {
    Q_OBJECT

private slots:
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
        QCOMPARE(dialog->size(), QSize(561, 495));
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
            QCOMPARE(bar->tabRect(i).height(), 35);
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

    // Positions on the pages count from the tab control's corner, tab strip included.
    void pageControlsLandWhereTheLayoutPutsThem_data()
    {
        QTest::addColumn<int>("tab");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("onTabControl");
        QTest::newRow("txtOuName") << 0 << "txtOuName" << QRect(96, 40, 241, 18);
        QTest::newRow("Label2") << 1 << "Label2" << QRect(16, 40, 73, 17);
        QTest::newRow("lstGrpGroup") << 2 << "lstGrpGroup" << QRect(16, 104, 505, 124);
        QTest::newRow("Label9") << 2 << "Label9" << QRect(16, 256, 113, 17);
        QTest::newRow("lstGrpMember") << 2 << "lstGrpMember" << QRect(16, 272, 505, 124);
        QTest::newRow("txtGivenName") << 3 << "txtGivenName" << QRect(96, 112, 241, 18);
        QTest::newRow("lstUsrGroup") << 3 << "lstUsrGroup" << QRect(16, 176, 505, 124);
    }
    void pageControlsLandWhereTheLayoutPutsThem()
    {
        QFETCH(int, tab);
        QFETCH(QString, name);
        QFETCH(QRect, onTabControl);
        ui->sstDet->setCurrentIndex(tab);
        QCoreApplication::processEvents();
        auto* control = dialog->findChild<QWidget*>(name);
        QVERIFY(control);
        QVERIFY(control->isVisible());
        QCOMPARE(QRect(control->mapTo(ui->sstDet, QPoint()), control->size()), onTabControl);
        QCOMPARE(ui->sstDet->geometry(), QRect(8, 8, 545, 441));
        QCOMPARE(ui->cmdClose->geometry(), QRect(424, 456, 129, 33));
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
