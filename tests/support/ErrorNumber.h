#pragma once

#include <cstdint>
#include <utility>

// The number of the `Error` that `call` throws; 0 when it returns. Any other exception passes
// through and fails the test.
template <typename Error, typename Call> int32_t errorNumberOf(Call&& call)
{
    try {
        std::forward<Call>(call)();
    } catch (const Error& error) {
        return error.number();
    }
    return 0;
}
