// The pointer over message boxes raised while the hourglass is up.
#include "RealBoxes.h"
#include "platform/MessageBox.h"
#include "platform/WaitCursor.h"

#include <QTest>

using platform::MessageIcon;

class TestWaitCursor : public QObject {
    Q_OBJECT

private slots:
    void boxesUnderTheHourglassShowTheArrowAndTheHourglassComesBack()
    {
        QWidget window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        RealBoxes boxes;
        {
            const platform::WaitCursor hourglass;
            QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
            platform::MsgBox(QStringLiteral("一"), MessageIcon::Critical, &window);
            QCOMPARE(boxes.seen.size(), 1);
            QCOMPARE(boxes.seen.constLast().pointer, Qt::ArrowCursor);
            QVERIFY(QApplication::overrideCursor());
            QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);

            platform::MsgBox(QStringLiteral("二"), MessageIcon::Warning, nullptr);
            QCOMPARE(boxes.seen.size(), 2);
            QCOMPARE(boxes.seen.constLast().pointer, Qt::ArrowCursor);
            QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        }
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }
};

QTEST_MAIN(TestWaitCursor)
#include "test_WaitCursor.moc"
