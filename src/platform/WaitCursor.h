#pragma once

#include <QCursor>
#include <QPointer>
#include <QWidget>
#include <optional>
#include <vector>

namespace platform {

// The hourglass over the window that runs a directory procedure, for the life of the scope; the
// window's own pointers come back on every way out of it, exceptions included. Only that window
// shows it: a message box raised meanwhile is a window of its own and shows the arrow, and so do
// the program's other windows.
class WaitCursor {
public:
    explicit WaitCursor(QWidget* window);
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    struct Saved {
        QPointer<QWidget> widget;
        std::optional<QCursor> own; // none: the widget showed its parent's pointer
    };
    std::vector<Saved> saved_;
};

} // namespace platform
