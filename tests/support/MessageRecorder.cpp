#include "MessageRecorder.h"

#include "details/frmDet.h"

#include <QApplication>
#include <QCursor>

Qt::CursorShape pointerOver(const QWidget* widget)
{
    if (const QCursor* cursor = QApplication::overrideCursor())
        return cursor->shape();
    while (widget && !widget->testAttribute(Qt::WA_SetCursor))
        widget = widget->isWindow() ? nullptr : widget->parentWidget();
    return widget ? widget->cursor().shape() : Qt::ArrowCursor;
}

QStringList hourglassWindows()
{
    QStringList names;
    for (const QWidget* window : QApplication::topLevelWidgets()) {
        if (pointerOver(window) == Qt::WaitCursor)
            names.append(window->objectName());
    }
    return names;
}

Qt::CursorShape currentCursor()
{
    return hourglassWindows().isEmpty() ? Qt::ArrowCursor : Qt::WaitCursor;
}

MessageRecorder::MessageRecorder()
{
    previous = platform::setMessageBoxHandler([this](const QString& text, platform::MessageIcon icon) {
        bool detailsVisible = false;
        for (QWidget* widget : QApplication::topLevelWidgets())
            detailsVisible = detailsVisible || (qobject_cast<frmDet*>(widget) && widget->isVisible());
        const QStringList waiting = hourglassWindows();
        boxes.append({ text, icon, currentCursor(), !waiting.isEmpty(), detailsVisible, waiting });
    });
}

QStringList MessageRecorder::texts() const
{
    QStringList result;
    for (const Box& box : boxes)
        result.append(box.text);
    return result;
}
