#pragma once

#include <QtGlobal>
#include <csignal>
#include <sys/resource.h>

namespace testfiles {

// No file of this process grows past `bytes` for as long as the guard lives: the kernel's own
// limit (RLIMIT_FSIZE), a disk full for this process alone. The write that would cross it writes
// what fits; the next fails with EFBIG and raises SIGXFSZ, which goes to `reached` (by default
// ignored). It holds for every file the process writes, so keep the guard's life short.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes, void (*reached)(int) = SIG_IGN)
        : previousHandler(std::signal(SIGXFSZ, reached))
    {
        ::getrlimit(RLIMIT_FSIZE, &previous);
        struct rlimit limit = previous;
        limit.rlim_cur = bytes < previous.rlim_max ? bytes : previous.rlim_max;
        set = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, previousHandler);
    }
    Q_DISABLE_COPY_MOVE(FileSizeLimit)

    bool ok() const { return set; }

private:
    void (*previousHandler)(int);
    struct rlimit previous { };
    bool set = false;
};

} // namespace testfiles
