#pragma once

#include <csignal>
#include <unistd.h>

// A step that must not block and does ends the suite after `seconds` with a failure, instead of
// holding it until ctest's timeout. One at a time: it takes the process's alarm.
class HangGuard {
public:
    explicit HangGuard(unsigned seconds)
    {
        std::signal(SIGALRM, [](int) {
            static const char text[] = "FAIL!  : a step that must not block did not return\n";
            [[maybe_unused]] const ssize_t ignored = ::write(STDERR_FILENO, text, sizeof text - 1);
            ::_exit(1);
        });
        ::alarm(seconds);
    }
    ~HangGuard() { ::alarm(0); }
    HangGuard(const HangGuard&) = delete;
    HangGuard& operator=(const HangGuard&) = delete;
};
