// Linked into every test executable as an object file (an archive member nothing refers to would
// be left out). The program ignores SIGPIPE in main(); test processes have their own main, and a
// server a test stops or kills must give them an error, not end them.
#include <csignal>
#include <pthread.h>

namespace {
bool keepSigpipeAway()
{
    // Qt Test's crash handler replaces an ignored SIGPIPE with its own, which prints a stack trace
    // for every write to a closed socket: blocked, the signal never reaches it. Threads started
    // later inherit the mask; the write still fails with EPIPE.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    return std::signal(SIGPIPE, SIG_IGN) != SIG_ERR && pthread_sigmask(SIG_BLOCK, &pipe, nullptr) == 0;
}
[[maybe_unused]] const bool sigpipeKeptAway = keepSigpipeAway();
} // namespace
