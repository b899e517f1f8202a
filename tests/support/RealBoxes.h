#pragma once

#include "MessageRecorder.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCursor>
#include <QList>
#include <QMessageBox>
#include <QTimer>

// Answers the real message boxes that come up while it lives, with OK, after noting what the
// user saw: the text, the pointer over the box and the windows that showed the hourglass. For
// tests of the real box, where the recording seam would hide it.
class RealBoxes {
public:
    struct Seen {
        QString text;
        Qt::CursorShape pointer;
        QStringList waiting;
    };

    RealBoxes()
    {
        QObject::connect(&timer, &QTimer::timeout, &timer, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible())
                return;
            seen.append({ box->text(), pointerOver(box), hourglassWindows() });
            box->button(QMessageBox::Ok)->click();
        });
        timer.start(10);
    }

    QList<Seen> seen;

private:
    QTimer timer;
};
