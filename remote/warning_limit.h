// Warnings that a client can cause are said at most once an interval, so
// that a flood of hostile clients cannot flood the log; the ones held back
// are counted and told with the next.
#pragma once

#include <chrono>

namespace morvane::remote {

class WarningLimit {
public:
    explicit WarningLimit(std::chrono::steady_clock::duration interval = std::chrono::seconds(10))
        : m_interval(interval) {}

    // True when a warning may be said now; then `heldBack` is how many were
    // not said since the last one.
    bool allow(int* heldBack);

private:
    std::chrono::steady_clock::duration m_interval;
    std::chrono::steady_clock::time_point m_last{};
    bool m_said = false;
    int m_heldBack = 0;
};

}  // namespace morvane::remote
