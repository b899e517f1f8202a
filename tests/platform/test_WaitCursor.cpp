// The hourglass over the working window alone, and the arrow over message boxes raised meanwhile.
#include "RealBoxes.h"
#include "platform/MessageBox.h"
#include "platform/WaitCursor.h"

#include <QLineEdit>
#include <QTest>

using platform::MessageIcon;

class TestWaitCursor : public QObject {
    Q_OBJECT

private slots:
    void boxesUnderTheHourglassShowTheArrowAndTheHourglassComesBack()
    {
        QWidget window;
        window.setObjectName(QStringLiteral("working"));
        auto* textBox = new QLineEdit(&window);
        const QWidget other;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        RealBoxes boxes;
        {
            const platform::WaitCursor hourglass(textBox);
            QCOMPARE(pointerOver(textBox), Qt::WaitCursor);
            platform::MsgBox(QStringLiteral("一"), MessageIcon::Critical, &window);
            QCOMPARE(boxes.seen.size(), 1);
            QCOMPARE(boxes.seen.constLast().pointer, Qt::ArrowCursor);
            QCOMPARE(boxes.seen.constLast().waiting, QStringList { QStringLiteral("working") });
            QCOMPARE(pointerOver(&window), Qt::WaitCursor);

            platform::MsgBox(QStringLiteral("二"), MessageIcon::Warning, nullptr);
            QCOMPARE(boxes.seen.size(), 2);
            QCOMPARE(boxes.seen.constLast().pointer, Qt::ArrowCursor);
            QCOMPARE(pointerOver(&window), Qt::WaitCursor);
        }
        QCOMPARE(pointerOver(textBox), Qt::IBeamCursor);
        QCOMPARE(currentCursor(), Qt::ArrowCursor);
    }
};

QTEST_MAIN(TestWaitCursor)
#include "test_WaitCursor.moc"
