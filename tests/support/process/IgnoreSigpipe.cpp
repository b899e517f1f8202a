// Linked into every test executable as an object file (an archive member nothing refers to would
// be left out). The program ignores SIGPIPE in main(); test processes have their own main, and a
// server a test stops or kills must give them an error, not end them.
#include <csignal>

namespace {
[[maybe_unused]] const bool sigpipeIgnored = std::signal(SIGPIPE, SIG_IGN) != SIG_ERR;
} // namespace
