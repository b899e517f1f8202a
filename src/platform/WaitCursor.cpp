#include "platform/WaitCursor.h"

#include <QApplication>
#include <QCursor>

namespace platform {

WaitCursor::WaitCursor()
{
    QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

WaitCursor::~WaitCursor()
{
    QApplication::restoreOverrideCursor();
}

ArrowCursor::ArrowCursor()
{
    if (QApplication::overrideCursor()) {
        QApplication::setOverrideCursor(QCursor(Qt::ArrowCursor));
        pushed = true;
    }
}

ArrowCursor::~ArrowCursor()
{
    if (pushed)
        QApplication::restoreOverrideCursor();
}

} // namespace platform
