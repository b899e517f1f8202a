#include "platform/WaitCursor.h"

namespace platform {

WaitCursor::WaitCursor(QWidget* window)
{
    QWidget* top = window->window();
    saved_.push_back({ top, std::nullopt });
    // A control with a pointer of its own (a text box's I-beam) would keep it over the hourglass.
    // Controls of the window's own child windows (its popup menu) are left alone.
    for (QWidget* child : top->findChildren<QWidget*>()) {
        if (child->window() == top && child->testAttribute(Qt::WA_SetCursor))
            saved_.push_back({ child, std::nullopt });
    }
    for (Saved& saved : saved_) {
        if (saved.widget->testAttribute(Qt::WA_SetCursor))
            saved.own = saved.widget->cursor();
        saved.widget->setCursor(Qt::WaitCursor);
    }
}

WaitCursor::~WaitCursor()
{
    // Each widget is in the list once, so the order does not matter.
    for (Saved& saved : saved_) {
        if (!saved.widget)
            continue;
        if (saved.own)
            saved.widget->setCursor(*saved.own);
        else
            saved.widget->unsetCursor();
    }
}

} // namespace platform
