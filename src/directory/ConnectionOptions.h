#pragma once

namespace directory {

// How long a connection waits and how much a listing asks for at once. The defaults are the
// program's; tests of servers that never answer pass shorter waits, and the fuzzer's recorded
// sessions smaller pages (a small listing then takes several pages and cookies).
struct ConnectionOptions {
    // Waits at most this long for the server to accept a connection, and for each answer.
    int networkTimeoutSeconds = 10;
    int answerTimeoutSeconds = 30;
    // Entries in each page of a listing.
    int pageSize = 1000;
};

} // namespace directory
