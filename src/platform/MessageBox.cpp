#include "platform/MessageBox.h"

#include <QMessageBox>

namespace platform {

namespace {
MessageBoxHandler& handler()
{
    static MessageBoxHandler current;
    return current;
}

QMessageBox::Icon toQt(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Critical:
        return QMessageBox::Critical;
    case MessageIcon::Warning:
        return QMessageBox::Warning;
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}
} // namespace

void MsgBox(const QString& text, MessageIcon icon, QWidget* parent)
{
    if (handler()) {
        handler()(text, icon);
        return;
    }
    // The box has its own pointer, the arrow, whatever its owner shows meanwhile.
    QMessageBox box(toQt(icon), applicationTitle, text, QMessageBox::Ok, parent);
    box.exec();
}

MessageBoxHandler setMessageBoxHandler(MessageBoxHandler next)
{
    return std::exchange(handler(), std::move(next));
}

} // namespace platform
