// How long a connection may take over each part of its exchange before the server closes
// it: a peer that went silent, or that never ends its request, must not hold a descriptor
// and a request handler for good.
//
// The limits are those of a well-kept web server (nginx's client_header_timeout,
// client_body_timeout and send_timeout, 60 s each): far longer than any program on this
// machine that is alive needs, short enough that a thousand silent peers give their
// descriptors back within a minute.
#pragma once

#include <cstdint>

namespace pelorin {

// From the accept until the request line and every header have arrived: counted whole, so
// a peer that sends a byte now and then cannot stretch it.
inline constexpr std::uint32_t kHeadTimeLimitMs = 60000;
// Between two arrivals of the body (from the end of the head for the first).
inline constexpr std::uint32_t kBodyTimeLimitMs = 60000;
// Between two moves of the answer: bytes the socket took, or a send completed. A peer
// that stops reading holds the answer no longer than this.
inline constexpr std::uint32_t kAnswerTimeLimitMs = 60000;

struct ConnectionTimeLimits {
    std::uint32_t headMs = kHeadTimeLimitMs;
    std::uint32_t bodyMs = kBodyTimeLimitMs;
    std::uint32_t answerMs = kAnswerTimeLimitMs;
};

// The limits of every connection of the process from now on, those open included (a value
// of 0 counts as 1 ms, one beyond 2^31 - 1 ms as that). Tests shorten them; the program
// takes one value for all three from the environment variable
// PELORIN_TEST_CONNECTION_LIMIT_MS, which only its tests set.
void SetConnectionTimeLimits(const ConnectionTimeLimits& limits);
ConnectionTimeLimits CurrentConnectionTimeLimits();

// How often the connections are looked at: a quarter of the shortest limit, between 10 ms
// and 1 s. No connection outlives its limit by more than that.
std::uint32_t TimeLimitCheckPeriodMs(const ConnectionTimeLimits& limits);

}  // namespace pelorin
