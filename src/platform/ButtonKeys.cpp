#include "platform/ButtonKeys.h"

#include <QKeyEvent>
#include <QPushButton>

namespace platform {

namespace {

class EnterClicks : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto* key = static_cast<const QKeyEvent*>(event);
        // The keypad's Enter comes with the keypad modifier; Ctrl+Enter and the like stay Qt's.
        if ((key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
            || (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
            return false;
        if (!key->isAutoRepeat())
            static_cast<QPushButton*>(watched)->click();
        return true;
    }
};

} // namespace

void enterPressesButtons(QWidget* form)
{
    auto* filter = new EnterClicks(form);
    for (QPushButton* button : form->findChildren<QPushButton*>())
        button->installEventFilter(filter);
}

} // namespace platform
