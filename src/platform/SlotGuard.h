#pragma once

#include "platform/MessageBox.h"

#include <QString>
#include <exception>
#include <utility>

namespace platform {

// Runs an event handler so that no exception reaches Qt's event loop, which cannot unwind
// through it. The program's own error traps sit inside the handlers; this is the last resort
// for what they do not catch (std::bad_alloc, a bug), shown instead of ending the program.
template <class Handler> void runGuarded(Handler&& handler) noexcept
{
    try {
        std::forward<Handler>(handler)();
    } catch (const std::exception& e) {
        try {
            platform::MsgBox(QString::fromLocal8Bit(e.what()), platform::MessageIcon::Critical);
        } catch (...) { }
    } catch (...) {
        try {
            platform::MsgBox(QStringLiteral("予期しないエラーが発生しました。"), platform::MessageIcon::Critical);
        } catch (...) { }
    }
}

} // namespace platform
