#pragma once

#include "details/frmDet.h"
#include "platform/MessageBox.h"

#include <QApplication>
#include <QCursor>
#include <QList>
#include <QString>

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
inline Qt::CursorShape pointerOver(const QWidget* widget)
{
    if (const QCursor* cursor = QApplication::overrideCursor())
        return cursor->shape();
    while (widget && !widget->testAttribute(Qt::WA_SetCursor))
        widget = widget->isWindow() ? nullptr : widget->parentWidget();
    return widget ? widget->cursor().shape() : Qt::ArrowCursor;
}

// The program's windows, by name, that show the hourglass.
inline QStringList hourglassWindows()
{
    QStringList names;
    for (const QWidget* window : QApplication::topLevelWidgets()) {
        if (pointerOver(window) == Qt::WaitCursor)
            names.append(window->objectName());
    }
    return names;
}

// The hourglass while some window shows it.
inline Qt::CursorShape currentCursor()
{
    return hourglassWindows().isEmpty() ? Qt::ArrowCursor : Qt::WaitCursor;
}

// Records every message box instead of showing it, for as long as it lives.
class MessageRecorder {
public:
    MessageRecorder()
    {
        previous = platform::setMessageBoxHandler([this](const QString& text, platform::MessageIcon icon) {
            bool detailsVisible = false;
            for (QWidget* widget : QApplication::topLevelWidgets())
                detailsVisible = detailsVisible || (qobject_cast<frmDet*>(widget) && widget->isVisible());
            const QStringList waiting = hourglassWindows();
            boxes.append({ text, icon, currentCursor(), !waiting.isEmpty(), detailsVisible, waiting });
        });
    }
    ~MessageRecorder() { platform::setMessageBoxHandler(std::move(previous)); }
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    // The texts alone, in the order the boxes came up.
    QStringList texts() const
    {
        QStringList result;
        for (const Box& box : boxes)
            result.append(box.text);
        return result;
    }

    QList<Box> boxes;

private:
    platform::MessageBoxHandler previous;
};
