#pragma once

#include <QtGlobal>
#include <cerrno>
#include <sys/socket.h>

// Sends all of data, through interruptions and short writes; false when the peer is gone.
// MSG_NOSIGNAL: a closed peer must not raise SIGPIPE in a test process.
inline bool writeAll(int fd, const char* data, qsizetype size)
{
    while (size > 0) {
        const ssize_t written = ::send(fd, data, size_t(size), MSG_NOSIGNAL);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= written;
    }
    return true;
}
