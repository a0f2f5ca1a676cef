// Benchmark of the scanner link: the full "UP" reply of 250,001 records
// (1,750,013 bytes) from `tallybird-sim scanner` through the transport,
// against a plain read loop on the same kind of pseudo-terminal in the same
// run; and, with --throttled, the CPU the program spends on a transfer at
// 115200 baud (11,520 bytes/s, about 152 s). Prints its figures; not a test.
#include "link/serial_port.h"
#include "link/transport.h"
#include "platform/clock.h"
#include "process_usage.h"

#include <QCoreApplication>
#include <QProcess>

#include <fcntl.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kFullReply = 250'001 * 7 + 6; // 1,750,013 bytes
constexpr int kRounds = 11;

class Simulator {
public:
    Simulator(const std::filesystem::path& link, const QStringList& extra) : link_(link) {
        QStringList args = {"scanner", "--link", QString::fromStdString(link.string()),
                            "--list-count", "250001"};
        args += extra;
        process_.setProcessChannelMode(QProcess::ForwardedChannels);
        process_.start(TALLYBIRD_SIM_PATH, args);
        process_.waitForStarted();
        for (int i = 0; i < 1000 && !std::filesystem::exists(link); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ~Simulator() {
        process_.terminate();
        process_.waitForFinished();
    }

private:
    std::filesystem::path link_;
    QProcess process_;
};

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// The transport: one "UP" command; returns the seconds it took.
double TransportRound(tallybird::Transport& link) {
    const auto start = Clock::now();
    const auto result = link.SendCommand("UP");
    const double seconds = Seconds(Clock::now() - start);
    if (result.failed || static_cast<std::size_t>(link.ReplyLength()) != kFullReply) {
        std::fprintf(stderr, "transport round failed (%d bytes)\n", link.ReplyLength());
        return -1;
    }
    return seconds;
}

// A plain read loop on the same pty: raw mode, "UP" and a CR, read() into a
// buffer allocated once until the known length arrived.
double PlainRound(const std::filesystem::path& link, std::vector<std::uint8_t>& buffer) {
    const int fd = open(link.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0) {
        return -1;
    }
    termios raw{};
    tcgetattr(fd, &raw);
    cfmakeraw(&raw);
    tcsetattr(fd, TCSANOW, &raw);
    const auto start = Clock::now();
    if (write(fd, "UP\r", 3) != 3) {
        close(fd);
        return -1;
    }
    std::size_t total = 0;
    while (total < kFullReply) {
        const ssize_t got = read(fd, buffer.data() + total, buffer.size() - total);
        if (got <= 0) {
            break;
        }
        total += static_cast<std::size_t>(got);
    }
    const double seconds = Seconds(Clock::now() - start);
    close(fd);
    return total == kFullReply ? seconds : -1;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

int Unthrottled(const std::filesystem::path& folder) {
    const auto link = folder / "kivo";
    Simulator sim(link, {});
    std::vector<double> transport;
    std::vector<double> plain;
    std::vector<std::uint8_t> plainBuffer(tallybird::kReplyBufferCells);
    const long rssBefore = tallybird::bench::PeakRssKb();
    {
        tallybird::QtSerialPort port;
        port.SetDevice(link);
        if (!port.Open()) {
            std::fprintf(stderr, "cannot open %s\n", link.c_str());
            return 1;
        }
        const tallybird::SteadyClock clock;
        tallybird::Transport transportLink(port, clock);
        // Rounds alternate so that both see the same machine state.
        for (int round = 0; round < kRounds; ++round) {
            transport.push_back(TransportRound(transportLink));
            port.Close();
            plain.push_back(PlainRound(link, plainBuffer));
            port.Open();
        }
        port.Close();
    }
    if (std::any_of(transport.begin(), transport.end(), [](double s) { return s < 0; }) ||
        std::any_of(plain.begin(), plain.end(), [](double s) { return s < 0; })) {
        return 1;
    }
    const double mb = static_cast<double>(kFullReply) / 1e6;
    const double transportRate = mb / Median(transport);
    const double plainRate = mb / Median(plain);
    std::printf("UP reply: %zu bytes, %d rounds each, median figures\n", kFullReply, kRounds);
    std::printf("transport:        %8.1f MB/s (%.4f s)\n", transportRate, Median(transport));
    std::printf("plain read loop:  %8.1f MB/s (%.4f s)\n", plainRate, Median(plain));
    std::printf("ratio:            %8.3f (goal >= 0.9)\n", transportRate / plainRate);
    std::printf("peak RSS:         %8ld KiB (before the rounds %ld KiB; reply buffers 2 x "
                "1953 KiB)\n",
                tallybird::bench::PeakRssKb(), rssBefore);
    return 0;
}

int Throttled(const std::filesystem::path& folder) {
    const auto link = folder / "kivo";
    Simulator sim(link, {"--byte-rate", "11520"});
    tallybird::QtSerialPort port;
    port.SetDevice(link);
    if (!port.Open()) {
        return 1;
    }
    const tallybird::SteadyClock clock;
    tallybird::Transport transport(port, clock);
    long captions = 0;
    transport.SetCaptionSink([&](const std::string&) { ++captions; });
    const double cpuBefore = tallybird::bench::CpuSeconds();
    const auto start = Clock::now();
    const auto result = transport.SendCommand("UP");
    const double wall = Seconds(Clock::now() - start);
    const double cpu = tallybird::bench::CpuSeconds() - cpuBefore;
    port.Close();
    if (result.failed) {
        std::fprintf(stderr, "UP failed after %.1f s with %d bytes\n", wall,
                     transport.ReplyLength());
        return 1;
    }
    std::printf("UP at 11,520 bytes/s: %d bytes in %.1f s wall, %.3f s CPU = %.3f%% "
                "(goal < 1%%), %ld captions\n",
                transport.ReplyLength(), wall, cpu, 100.0 * cpu / wall, captions);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const bool throttled = argc > 1 && std::strcmp(argv[1], "--throttled") == 0;
    if (argc > 1 && !throttled) {
        std::printf("usage: bench_link [--throttled]\n");
        return 64;
    }
    char pattern[] = "/tmp/tallybird-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        return 1;
    }
    const std::filesystem::path folder = pattern;
    const int status = throttled ? Throttled(folder) : Unthrottled(folder);
    std::filesystem::remove_all(folder);
    return status;
}
