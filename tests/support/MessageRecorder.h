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
    bool hourglass = false; // an application-wide pointer was set
    bool detailsVisible = false; // a details window was already on screen

    // What the user read; the pointer and the windows around the box are checked on their own.
    bool operator==(const Box& other) const { return text == other.text && icon == other.icon; }
};

inline Qt::CursorShape currentCursor()
{
    const QCursor* cursor = QApplication::overrideCursor();
    return cursor ? cursor->shape() : Qt::ArrowCursor;
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
            boxes.append({ text, icon, currentCursor(), QApplication::overrideCursor() != nullptr, detailsVisible });
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
