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

} // namespace platform
