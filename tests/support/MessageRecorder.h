#pragma once

#include "platform/MessageBox.h"

#include <QList>
#include <QString>
#include <QStringList>

class QWidget;

// One message box as the user would have met it, with what was on screen when it came up.
struct Box {
    QString text;
    platform::MessageIcon icon;
    // The pointer while the box was up (Qt::ArrowCursor when none was set).
    Qt::CursorShape cursor = Qt::ArrowCursor;
    bool hourglass = false; // a window of the program showed the hourglass
    bool detailsVisible = false; // a details window was already on screen
    QStringList waiting = {}; // those windows, by name

    // What the user read; the pointer and the windows around the box are checked on their own.
    bool operator==(const Box& other) const { return text == other.text && icon == other.icon; }
};

// The pointer Qt shows over widget: the application-wide one, else the nearest one set on the
// widget or its parents within its window, else the arrow.
Qt::CursorShape pointerOver(const QWidget* widget);

// The program's windows, by name, that show the hourglass.
QStringList hourglassWindows();

// The hourglass while some window shows it.
Qt::CursorShape currentCursor();

// Records every message box instead of showing it, for as long as it lives.
class MessageRecorder {
public:
    MessageRecorder();
    ~MessageRecorder() { platform::setMessageBoxHandler(std::move(previous)); }
    Q_DISABLE_COPY_MOVE(MessageRecorder)

    // The texts alone, in the order the boxes came up.
    QStringList texts() const;

    QList<Box> boxes;

private:
    platform::MessageBoxHandler previous;
};
