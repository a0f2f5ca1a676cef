#include "link/probe.h"

#include "link/transport.h"

#include <array>
#include <chrono>
#include <cstdint>

namespace tallybird {

namespace {

using std::chrono::milliseconds;

constexpr std::size_t kEnoughBytes = 5;
constexpr milliseconds kFirstWait{1000};
constexpr milliseconds kRetryWait{2000};
// A port that sends without end does not make the reply text grow past this.
constexpr std::size_t kMaxReplyBytes = std::size_t{64} * 1024;

void ReadInto(SerialPort& port, std::string& reply) {
    std::array<std::uint8_t, 1024> chunk{};
    const std::size_t got = port.Read(chunk);
    const std::size_t room = kMaxReplyBytes - std::min(kMaxReplyBytes, reply.size());
    reply.append(reinterpret_cast<const char*>(chunk.data()), std::min(got, room));
}

// Sends "PA", waits while fewer than 5 bytes came and the limit has not
// passed, then takes what is waiting.
std::string Ask(SerialPort& port, milliseconds limit, const Clock& clock) {
    std::string reply;
    if (!port.Write(FramedCommand(CommandBytes("PA")))) {
        return reply;
    }
    const auto start = clock.Now();
    while (reply.size() < kEnoughBytes) {
        const auto elapsed = clock.Now() - start;
        if (elapsed >= limit) {
            break;
        }
        const auto waited = port.WaitForData(std::chrono::ceil<milliseconds>(limit - elapsed));
        if (waited == WaitResult::kBroken) {
            return reply;
        }
        if (waited == WaitResult::kData) {
            ReadInto(port, reply);
        }
    }
    for (int rounds = 0; rounds < 64 && port.BytesWaiting() > 0; ++rounds) {
        ReadInto(port, reply);
    }
    return reply;
}

} // namespace

bool IsKivoReply(std::string_view reply) {
    return reply.find("Kivo") != std::string_view::npos;
}

bool IsProbeCandidate(std::string_view description) {
    return description.find("USB Serial Port") != std::string_view::npos;
}

std::string ProbePort(SerialPort& port, const std::filesystem::path& device,
                      std::string_view description, const Clock& clock) {
    if (!IsProbeCandidate(description)) {
        return {};
    }
    port.SetDevice(device);
    if (!port.Open()) {
        return {};
    }
    std::string reply = Ask(port, kFirstWait, clock);
    if (!reply.empty() && !IsKivoReply(reply)) {
        reply = Ask(port, kRetryWait, clock);
    }
    port.Close();
    return reply;
}

} // namespace tallybird
