#pragma once

namespace platform {

// The hourglass while a directory procedure runs; the default pointer comes back on every way
// out of the scope, exceptions included.
class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

} // namespace platform
