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

// The normal arrow for the life of a box raised while the hourglass is up (the hourglass is the
// window's pointer, not the box's); the hourglass comes back with the end of the scope. Changes
// nothing when no hourglass is up.
class ArrowCursor {
public:
    ArrowCursor();
    ~ArrowCursor();
    ArrowCursor(const ArrowCursor&) = delete;
    ArrowCursor& operator=(const ArrowCursor&) = delete;

private:
    bool pushed = false;
};

} // namespace platform
