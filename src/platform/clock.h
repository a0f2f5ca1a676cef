#pragma once

#include <chrono>
#include <functional>
#include <thread>

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

// Waits made on purpose (the reset's 31 seconds, the pause after an erase);
// tests pass one that does not sleep.
using Sleeper = std::function<void(std::chrono::milliseconds)>;
inline void SleepFor(std::chrono::milliseconds duration) {
    std::this_thread::sleep_for(duration);
}

} // namespace tallybird
