#pragma once

class QWidget;

namespace platform {

// Enter (either key) presses the focused push button of `form`, as Space does: on the platform
// the program comes from a focused button takes both, while Qt clicks a button that is not a
// dialog's default on Space only. Enter held down clicks once. Nothing else changes: Enter in a
// text box or a list does what it did.
void enterPressesButtons(QWidget* form);

} // namespace platform
