#pragma once

#include <chrono>

namespace tallybird {

// A monotonic clock for time limits. Production code uses `SteadyClock`;
// tests inject a clock that jumps so that a 600-second limit takes no time.
class Clock {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    Clock() = default;
    virtual ~Clock() = default;
    Clock(const Clock&) = delete;
    Clock& operator=(const Clock&) = delete;

    virtual TimePoint Now() const = 0;
};

// std::chrono::steady_clock: never the wall clock, so midnight and clock
// changes do not disturb a time limit.
class SteadyClock final : public Clock {
public:
    TimePoint Now() const override { return std::chrono::steady_clock::now(); }
};

} // namespace tallybird
