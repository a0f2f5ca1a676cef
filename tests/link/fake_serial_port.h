#pragma once

#include "base/bytes.h"
#include "link/serial_port.h"
#include "platform/clock.h"

#include <algorithm>
#include <deque>
#include <functional>
#include <vector>

namespace tallybird::test {

// A clock that moves only when told: time limits of minutes take no time.
class FakeClock final : public Clock {
public:
    TimePoint Now() const override { return now_; }
    void Advance(std::chrono::milliseconds d) { now_ += d; }
    std::chrono::milliseconds Elapsed() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(now_ - TimePoint{});
    }

private:
    TimePoint now_{};
};

// A scripted serial port on the fake clock. After each write the responder
// gives the reply chunks; each chunk arrives `gap` later than the one before
// and is one Read. A wait with nothing due advances the clock to the limit.
class FakeSerialPort final : public SerialPort {
public:
    using Responder = std::function<std::vector<Bytes>(const Bytes& written)>;

    explicit FakeSerialPort(FakeClock& clock) : clock_(clock) {}

    void SetDevice(const std::filesystem::path& device) override { device_ = device; }
    bool Open() override {
        ++opens;
        open_ = canOpen;
        return open_;
    }
    void Close() override { open_ = false; }
    bool IsOpen() const override { return open_; }
    bool Write(ByteView bytes) override {
        if (!open_) {
            return false;
        }
        written.emplace_back(bytes.begin(), bytes.end());
        if (responder) {
            for (Bytes& chunk : responder(written.back())) {
                Schedule(std::move(chunk));
            }
        }
        return true;
    }
    std::size_t BytesWaiting() override {
        // Chunks whose time has come are waiting now.
        while (!due_.empty() && due_.front().first <= clock_.Now()) {
            arrived_.push_back(std::move(due_.front().second));
            due_.pop_front();
        }
        std::size_t n = 0;
        for (const auto& c : arrived_) {
            n += c.size();
        }
        return n;
    }
    std::size_t Read(std::span<std::uint8_t> into) override {
        if (arrived_.empty()) {
            return 0;
        }
        Bytes& chunk = arrived_.front();
        const std::size_t n = std::min(into.size(), chunk.size());
        std::copy(chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(n), into.begin());
        chunk.erase(chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(n));
        if (chunk.empty()) {
            arrived_.pop_front();
        }
        return n;
    }
    WaitResult WaitForData(std::chrono::milliseconds limit) override {
        ++waits;
        if (!open_) {
            return WaitResult::kBroken;
        }
        if (!arrived_.empty()) {
            return WaitResult::kData;
        }
        if (due_.empty()) {
            if (breakWhenIdle) {
                open_ = false;
                return WaitResult::kBroken;
            }
            clock_.Advance(limit);
            return WaitResult::kTimeout;
        }
        auto& [at, chunk] = due_.front();
        if (at - clock_.Now() > limit) {
            clock_.Advance(limit);
            return WaitResult::kTimeout;
        }
        clock_.Advance(std::chrono::duration_cast<std::chrono::milliseconds>(
            std::max(at - clock_.Now(), Clock::TimePoint::duration{})));
        arrived_.push_back(std::move(chunk));
        due_.pop_front();
        return WaitResult::kData;
    }

    // Bytes that are already waiting (arrived while idle).
    void Arrived(Bytes chunk) { arrived_.push_back(std::move(chunk)); }

    Responder responder;
    std::chrono::milliseconds gap{1};
    bool canOpen = true;
    bool breakWhenIdle = false;
    int opens = 0;
    int waits = 0;
    std::vector<Bytes> written;

private:
    void Schedule(Bytes chunk) {
        const auto last = due_.empty() ? clock_.Now() : due_.back().first;
        due_.emplace_back(last + gap, std::move(chunk));
    }

    FakeClock& clock_;
    std::filesystem::path device_;
    bool open_ = false;
    std::deque<Bytes> arrived_;
    std::deque<std::pair<Clock::TimePoint, Bytes>> due_;
};

inline Bytes Text(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

inline Bytes Repeat(std::uint8_t value, std::size_t count) {
    return Bytes(count, value);
}

inline Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

} // namespace tallybird::test
