// The details window where a real server cannot help: a class spelled "User", an object that
// disappears between two reads, no object at all.
#include "DetailsTestSupport.h"
#include "RealBoxes.h"
#include "TestDirectory.h"

#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

using directory::DirectoryError;
using platform::MessageIcon;
using TestDirectory::adsPath;

namespace {

const QString domainDn = QStringLiteral("DC=example,DC=test");
const QString groupDn = QStringLiteral("CN=チーム,DC=example,DC=test");

// A group with two members.
std::unique_ptr<InMemoryDirectory> sampleDirectory()
{
    auto dir = std::make_unique<InMemoryDirectory>();
    dir->add(domainDn, { QStringLiteral("top"), QStringLiteral("domain"), QStringLiteral("domainDNS") });
    for (const char* name : { "m1", "m2" }) {
        dir->add(QStringLiteral("CN=%1,").arg(QLatin1String(name)) + domainDn,
            { QStringLiteral("top"), QStringLiteral("user") }, { { "cn", { QLatin1String(name) } } });
    }
    dir->add(groupDn, { QStringLiteral("top"), QStringLiteral("group") },
        { { "cn", { "チーム" } },
            { "member", { QStringLiteral("CN=m1,") + domainDn, QStringLiteral("CN=m2,") + domainDn } } });
    return dir;
}

// The window opened on the sample's group, its message boxes recorded.
struct GroupWindow {
    DirectoryScope<InMemoryDirectory> scope { sampleDirectory() };
    ObjectPathScope path { adsPath(groupDn) };
    MessageRecorder recorder;
    frmDet det;
};

} // namespace

class TestFrmDet : public QObject {
    Q_OBJECT
private slots:
    void classNamesDifferingInCaseHaveNoDetailsScreen_data()
    {
        QTest::addColumn<QString>("className");
        QTest::newRow("User") << QStringLiteral("User");
        QTest::newRow("Group") << QStringLiteral("Group");
        QTest::newRow("Container") << QStringLiteral("Container");
        QTest::newRow("organizationalunit") << QStringLiteral("organizationalunit");
        QTest::newRow("COMPUTER") << QStringLiteral("COMPUTER");
    }
    void classNamesDifferingInCaseHaveNoDetailsScreen()
    {
        QFETCH(QString, className);
        DirectoryScope<InMemoryDirectory> scope;
        const QString dn = QStringLiteral("CN=Someone,") + domainDn;
        scope.directory->add(dn, { QStringLiteral("top"), className },
            { { "cn", { "Someone" } }, { "ou", { "Someone" } }, { "displayName", { "表示" } } });
        const ObjectPathScope path(adsPath(dn));
        MessageRecorder recorder;

        frmDet det;
        verifyNoDetailsScreen(recorder.boxes, det);
        QVERIFY(!det.ShowDetail(adsPath(dn)));
        QCOMPARE(currentCursor(), Qt::ArrowCursor);
    }

    void emptyObjectPathShowsMessageWithoutIconAndKeepsInitialText()
    {
        DirectoryScope<InMemoryDirectory> scope { sampleDirectory() };
        const ObjectPathScope path { QString() };
        MessageRecorder recorder;

        frmDet det;
        QCOMPARE(recorder.boxes.size(), 1);
        QCOMPARE(recorder.boxes[0].text, QStringLiteral("情報の取得に失敗しました。"));
        QCOMPARE(recorder.boxes[0].icon, MessageIcon::None);
        QVERIFY(!recorder.boxes[0].hourglass);
        QCOMPARE(textBoxesOf(det), QStringList(7, QStringLiteral("Text1")));
        QCOMPARE(det.sstDet->currentIndex(), 3);
        QVERIFY(scope.directory->boundPaths().isEmpty());

        // The refresh repeats the message and leaves the fields as they are.
        det.cmdUpdate->click();
        QCOMPARE(recorder.boxes.size(), 2);
        QCOMPARE(recorder.boxes[1].text, QStringLiteral("情報の取得に失敗しました。"));
        QCOMPARE(recorder.boxes[1].icon, MessageIcon::None);
        QCOMPARE(textBoxesOf(det), QStringList(7, QStringLiteral("Text1")));
        QVERIFY(scope.directory->boundPaths().isEmpty());
    }

    void refreshAfterTheObjectWasDeletedReportsItWithEveryFieldEmpty()
    {
        GroupWindow group;
        frmDet& det = group.det;
        const QList<Box>& boxes = group.recorder.boxes;
        QCOMPARE(entriesOf(det.lstGrpGroup), QStringList({ "m1", "m2" }));
        const DirectoryError deleted(directory::hresult::NoSuchObject, QStringLiteral("オブジェクトがありません。"));
        group.scope.directory->failBind(groupDn, deleted);
        det.cmdUpdate->click();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].icon, MessageIcon::Critical);
        QCOMPARE(boxes[0].text, QStringLiteral("-2147016656\r\nオブジェクトがありません。"));
        QVERIFY(everyFieldEmpty(det));
        // A failure leaves the tab in front where it was.
        QCOMPARE(det.sstDet->currentIndex(), 2);
        QCOMPARE(currentCursor(), Qt::ArrowCursor);
    }

    void theWarningOnTheDomainObjectShowsTheArrowNotTheHourglass()
    {
        DirectoryScope<InMemoryDirectory> scope { sampleDirectory() };
        const ObjectPathScope path(adsPath(domainDn));
        RealBoxes boxes;

        frmDet det;
        QCOMPARE(boxes.seen.size(), 1);
        QCOMPARE(boxes.seen.constFirst().text, QStringLiteral("このオブジェクトの詳細画面はありません。"));
        QCOMPARE(boxes.seen.constFirst().pointer, Qt::ArrowCursor);
        QCOMPARE(boxes.seen.constFirst().waiting, QStringList { QStringLiteral("frmDet") });
        QCOMPARE(currentCursor(), Qt::ArrowCursor);
    }

    void escapeLeavesTheWindowOpen_data()
    {
        QTest::addColumn<bool>("titleBar");
        QTest::newRow("then 閉じる") << false;
        QTest::newRow("then the title bar") << true;
    }
    void escapeLeavesTheWindowOpen()
    {
        QFETCH(bool, titleBar);
        GroupWindow group;
        frmDet& det = group.det;

        bool openAfterEscape = false;
        QTimer::singleShot(0, &det, [&] {
            QVERIFY(QTest::qWaitForWindowActive(&det));
            QWidget* focused = QApplication::focusWidget();
            QVERIFY(focused && det.isAncestorOf(focused));
            QTest::keyClick(focused, Qt::Key_Escape);
            QTest::keyClick(&det, Qt::Key_Escape);
            QCoreApplication::processEvents();
            openAfterEscape = det.isVisible();
            if (titleBar)
                det.close();
            else
                QTest::mouseClick(det.cmdClose, Qt::LeftButton);
        });
        // Whatever happens above, the modal loop ends.
        QTimer::singleShot(10000, &det, [&] { det.done(-1); });
        const int result = det.exec();

        QVERIFY(openAfterEscape);
        QVERIFY(!det.isVisible());
        QCOMPARE(result, static_cast<int>(QDialog::Rejected));
        QVERIFY(group.recorder.boxes.isEmpty());
    }

    // 閉じる is the window's one visible button (更新 is hidden).
    void enterPressesTheFocusedButton_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("Return") << int(Qt::Key_Return);
        QTest::newRow("keypad Enter") << int(Qt::Key_Enter);
    }
    void enterPressesTheFocusedButton()
    {
        QFETCH(int, key);
        GroupWindow group;
        frmDet& det = group.det;
        det.show();
        QVERIFY(QTest::qWaitForWindowActive(&det));
        det.cmdClose->setFocus();
        QTest::keyClick(det.cmdClose, Qt::Key(key), key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
        QVERIFY(!det.isVisible());
        QVERIFY(group.recorder.boxes.isEmpty());
    }

    void clearFieldsEmptiesEveryFieldAndKeepsTheTab()
    {
        const ObjectPathScope path { QString() };
        MessageRecorder recorder;
        frmDet det;
        det.sstDet->setCurrentIndex(1);
        det.lstGrpGroup->addItem(QStringLiteral("a"));
        det.lstGrpMember->addItem(QStringLiteral("b"));
        det.lstUsrGroup->addItem(QStringLiteral("c"));

        det.ClearFields();
        QVERIFY(everyFieldEmpty(det));
        QCOMPARE(det.sstDet->currentIndex(), 1);
    }
};

QTEST_MAIN(TestFrmDet)
#include "test_frmDet.moc"
