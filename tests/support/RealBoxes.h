#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QCursor>
#include <QList>
#include <QMessageBox>
#include <QTimer>

// Answers the real message boxes that come up while it lives, with OK, after noting what the
// user saw: the text, and the pointer over the box (an application-wide override cursor wins
// over the box's own). For tests of the real box, where the recording seam would hide it.
class RealBoxes {
public:
    struct Seen {
        QString text;
        Qt::CursorShape pointer;
    };

    RealBoxes()
    {
        QObject::connect(&timer, &QTimer::timeout, &timer, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible())
                return;
            const QCursor* override = QApplication::overrideCursor();
            seen.append({ box->text(), override ? override->shape() : box->cursor().shape() });
            box->button(QMessageBox::Ok)->click();
        });
        timer.start(10);
    }

    QList<Seen> seen;

private:
    QTimer timer;
};
