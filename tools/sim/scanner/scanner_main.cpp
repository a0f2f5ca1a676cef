// `tallybird-sim scanner`: a Kivo Scanner on a pseudo-terminal. The slave
// side is linked at --link PATH; the program opens that path as its serial
// port. One thread, one poll() loop over the pty, the control socket and the
// signals.
#include "scanner_model.h"
#include "sim_commands.h"

#include <QByteArray>
#include <QJsonDocument>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace tallybird::sim {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr const char* kHelp = R"(Usage: tallybird-sim scanner --link PATH [OPTIONS]

A simulated Kivo Scanner on a pseudo-terminal whose slave side is linked at
PATH. It answers the Kivo Scanner's commands from a NOR-flash memory
model (erase: a 4096-byte sector to 255; program: AND into memory, wrapping
inside the 256-byte page).

Identity and contents:
  --serial N           wire serial number ("SN"), default 66051
  --version TEXT       firmware version ("VR"): a letter and a number 0..255,
                       default W2; H1 has 8 x 65536 bytes of memory, others 32
  --time-stamp N       scanner time stamp ("TN"), default 0
  --pa-reply TEXT      answer to "PA", default KivoS
  --scan CHIP          a 15-digit chip in the scan log (repeatable)
  --scan-record HEX    a raw 6-byte scan-log record, 12 hex digits (repeatable)
  --list CHIP[:ATTR]   a list record (7 bytes) appended from address 0 (repeatable)
  --list-count N       N made-up list records (985 + 12 digits, attribute k mod 256)
  --list-file FILE     raw list memory loaded at address 0 (7-byte records)
  --org TEXT           an organisation text in the next slot (repeatable)
  --keyboard           start in keyboard mode

Timing:
  --latency MS         wait before each reply, default 0
  --byte-rate N        bytes per second each way (11520 models 115200 baud):
                       replies are paced, and a reply waits until its
                       command would have arrived; 0 (default) sends as
                       fast as the pty takes them

Faults:
  --stop-after K       answer no command after the K-th
  --garbage CODE       answer CODE with garbage of the same length (repeatable)
  --short CODE         drop the last byte of CODE's reply (repeatable)
  --extra CODE         add three bytes after CODE's reply (repeatable)
  --drop-after K[:N]   at the K-th command send N bytes of its reply (default 0),
                       then drop the link (remove PATH and close the pty)

Control and records:
  --control PATH       Unix socket taking line commands (see below)
  --log FILE           one line per received command: code and argument bytes
                       in hex ("WR 00 00 FC 01 02 03 04 05 06 07")
  --dump-on-exit FILE  write the JSON dump (with memory) when ending
  --help               this text

Control commands (one per line; each answered with one line):
  scan CHIP            a chip is read: logged; in keyboard mode also sent as
                       its 15 digits and a CR
  scan-record HEX      the same with a raw 6-byte record
  unplug | replug      remove / restore the link (a fresh pty)
  dump [FILE]          the state as one line of JSON, or written to FILE
                       (FILE also holds the memory in base64)
  status               "ok plugged=1 keyboard=0 commands=N"
  bytes                "ok in=M out=N": bytes received and sent on the link
  fault KIND VALUE     a fault from the next command on: stop-after K,
                       drop-after K[:N], silent CODE (never answered),
                       garbage CODE, short CODE, extra CODE (counts start
                       at the next command), latency MS
  fault none           no fault and no latency from now on
  quit                 end the simulator

"WR" framing: 3 address bytes and 7 data bytes are read by count (the program
always sends 7); if the next byte is not a CR, the bytes up to the next CR are
more data. Other commands take their fixed argument count and a CR.
SIGINT and SIGTERM end the simulator cleanly (the link is removed).
)";

constexpr int kUsageError = 64;
// A command whose bytes stop arriving for this long ends at its last CR.
constexpr milliseconds kIdleFlush{50};

struct Options {
    ScannerConfig config;
    std::filesystem::path link;
    std::filesystem::path control;
    std::filesystem::path logFile;
    std::filesystem::path dumpOnExit;
    std::vector<Bytes> scans;
    std::vector<Bytes> listRecords;
    std::filesystem::path listFile;
    long listCount = 0;
    std::vector<std::string> organisations;
    bool keyboard = false;
    long latencyMs = 0;
    long byteRate = 0;
};

bool IsChipText(const std::string& text) {
    return text.size() == 15 &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::optional<Bytes> ParseHex(const std::string& text) {
    if (text.size() % 2 != 0) {
        return std::nullopt;
    }
    Bytes out;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        char* end = nullptr;
        const std::string two = text.substr(i, 2);
        const long value = std::strtol(two.c_str(), &end, 16);
        if (end != two.c_str() + 2) {
            return std::nullopt;
        }
        out.push_back(static_cast<std::uint8_t>(value));
    }
    return out;
}

bool ParseNumber(const std::string& text, long& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text.c_str(), &end, 10);
    return errno == 0 && end != text.c_str() && *end == '\0' && value >= 0;
}

// Returns an error text, or empty when the options are good.
std::string ParseOptions(int argc, char** argv, Options& o, bool& help) {
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--help") {
            help = true;
            return {};
        }
        if (name == "--keyboard") {
            o.keyboard = true;
            continue;
        }
        if (i + 1 >= argc) {
            return "missing value for " + name;
        }
        const std::string value = argv[++i];
        long n = 0;
        if (name == "--link") {
            o.link = value;
        } else if (name == "--control") {
            o.control = value;
        } else if (name == "--log") {
            o.logFile = value;
        } else if (name == "--dump-on-exit") {
            o.dumpOnExit = value;
        } else if (name == "--serial" && ParseNumber(value, n) && n < (1L << 24)) {
            o.config.serial = static_cast<std::uint32_t>(n);
        } else if (name == "--version" && !value.empty()) {
            o.config.version = value;
        } else if (name == "--time-stamp" && ParseNumber(value, n) && n <= 0xFFFFFFFFL) {
            o.config.timeStamp = static_cast<std::uint32_t>(n);
        } else if (name == "--pa-reply") {
            o.config.paReply = value;
        } else if (name == "--scan" && IsChipText(value)) {
            o.scans.push_back(ScanRecordFor(value));
        } else if (name == "--scan-record" && ParseHex(value) && value.size() == 12) {
            o.scans.push_back(*ParseHex(value));
        } else if (name == "--list") {
            const auto colon = value.find(':');
            const std::string chip = value.substr(0, colon);
            long attribute = 0;
            if (!IsChipText(chip) ||
                (colon != std::string::npos &&
                 (!ParseNumber(value.substr(colon + 1), attribute) || attribute > 255))) {
                return "bad value for --list: " + value;
            }
            o.listRecords.push_back(ListRecordFor(chip, static_cast<std::uint8_t>(attribute)));
        } else if (name == "--list-count" && ParseNumber(value, n) && n <= 250'001) {
            o.listCount = n;
        } else if (name == "--list-file") {
            o.listFile = value;
        } else if (name == "--org") {
            o.organisations.push_back(value.substr(0, 31));
        } else if (name == "--latency" && ParseNumber(value, n)) {
            o.latencyMs = n;
        } else if (name == "--byte-rate" && ParseNumber(value, n)) {
            o.byteRate = n;
        } else if (name == "--stop-after" && ParseNumber(value, n)) {
            o.config.stopAfter = static_cast<int>(n);
        } else if (name == "--garbage" && value.size() == 2) {
            o.config.garbage.insert(value);
        } else if (name == "--short" && value.size() == 2) {
            o.config.shortReply.insert(value);
        } else if (name == "--extra" && value.size() == 2) {
            o.config.extra.insert(value);
        } else if (name == "--drop-after") {
            const auto colon = value.find(':');
            long bytes = 0;
            if (!ParseNumber(value.substr(0, colon), n) ||
                (colon != std::string::npos && !ParseNumber(value.substr(colon + 1), bytes))) {
                return "bad value for --drop-after: " + value;
            }
            o.config.dropAfter = static_cast<int>(n);
            o.config.dropAfterBytes = static_cast<std::size_t>(bytes);
        } else {
            return "bad option or value: " + name + " " + value;
        }
    }
    if (o.link.empty()) {
        return "--link PATH is required";
    }
    return {};
}

void LoadContents(const Options& o, ScannerModel& model) {
    std::uint32_t address = 0;
    if (!o.listFile.empty()) {
        std::ifstream in(o.listFile, std::ios::binary);
        const Bytes raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        model.Memory().Load(0, raw);
        address = static_cast<std::uint32_t>(raw.size());
    }
    for (const Bytes& record : o.listRecords) {
        model.Memory().Load(address, record);
        address += static_cast<std::uint32_t>(record.size());
    }
    if (o.listCount > 0) {
        Bytes block;
        block.reserve(static_cast<std::size_t>(o.listCount) * 7);
        for (long k = 0; k < o.listCount; ++k) {
            char text[32];
            std::snprintf(text, sizeof text, "985%012ld", 100000000000L + k);
            const Bytes r = ListRecordFor(text, static_cast<std::uint8_t>(k % 256));
            block.insert(block.end(), r.begin(), r.end());
        }
        model.Memory().Load(address, block);
    }
    for (const Bytes& scan : o.scans) {
        model.Scan(scan);
    }
    const std::uint32_t area = static_cast<std::uint32_t>(model.FlashTopByte()) * 65536 + 0xE000;
    for (std::size_t k = 0; k < o.organisations.size() && k < 256; ++k) {
        Bytes slot(o.organisations[k].begin(), o.organisations[k].end());
        slot.push_back(0);
        slot.resize(32, 255);
        model.Memory().Load(area + static_cast<std::uint32_t>(k) * 32, slot);
    }
}

struct Outgoing {
    Bytes bytes;
    std::size_t sent = 0;
    Clock::time_point readyAt;
    bool dropLink = false;
    std::size_t keepBytes = 0;
};

class Simulator {
public:
    Simulator(Options options) : o_(std::move(options)), model_(o_.config) {}
    int Run();

private:
    bool Plug();
    void Unplug();
    void Queue(std::vector<Reply> replies, Clock::time_point now);
    void QueueText(Bytes bytes);
    void ReadPty(Clock::time_point now);
    void WritePty(Clock::time_point now);
    std::optional<Clock::duration> NextWait(Clock::time_point now) const;
    void AcceptControl();
    void ReadControl(std::size_t index);
    std::string Control(const std::string& line);
    std::string SetFault(const std::string& argument);
    void WriteDump(const std::filesystem::path& file) const;

    Options o_;
    ScannerModel model_;
    int master_ = -1;
    int slave_ = -1;
    int listen_ = -1;
    int signals_ = -1;
    bool quit_ = false;
    std::deque<Outgoing> out_;
    Clock::time_point lastInput_;
    std::uint64_t bytesIn_ = 0;  // received from the program
    std::uint64_t bytesOut_ = 0; // sent to the program
    // When the last command byte received has crossed a throttled line.
    Clock::time_point commandArrived_;
    Clock::time_point rateMark_;
    double allowance_ = 0;
    std::vector<std::pair<int, std::string>> clients_; // fd and partial line
    FILE* log_ = nullptr;
};

bool Simulator::Plug() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        return false;
    }
    const char* name = ptsname(master_);
    if (name == nullptr) {
        return false;
    }
    // The simulator keeps the slave open itself: the master never sees a
    // hang-up when the program closes its port, and the line is raw (no
    // echo, no line editing, every byte as it is) before anyone opens it.
    slave_ = open(name, O_RDWR | O_NOCTTY);
    if (slave_ < 0) {
        return false;
    }
    termios raw{};
    tcgetattr(slave_, &raw);
    cfmakeraw(&raw);
    cfsetispeed(&raw, B115200);
    cfsetospeed(&raw, B115200);
    tcsetattr(slave_, TCSANOW, &raw);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    std::error_code ec;
    std::filesystem::remove(o_.link, ec);
    if (symlink(name, o_.link.c_str()) != 0) {
        std::cerr << "tallybird-sim: cannot link " << o_.link << ": " << std::strerror(errno)
                  << '\n';
        return false;
    }
    return true;
}

void Simulator::Unplug() {
    std::error_code ec;
    std::filesystem::remove(o_.link, ec);
    if (master_ >= 0) {
        close(master_);
    }
    if (slave_ >= 0) {
        close(slave_);
    }
    master_ = slave_ = -1;
    out_.clear();
    model_.Unplugged();
}

void Simulator::Queue(std::vector<Reply> replies, Clock::time_point now) {
    for (Reply& reply : replies) {
        Outgoing item;
        item.bytes = std::move(reply.bytes);
        item.readyAt = std::max(now + milliseconds(o_.latencyMs), commandArrived_);
        item.dropLink = reply.dropLink;
        item.keepBytes = reply.keepBytes;
        out_.push_back(std::move(item));
    }
}

void Simulator::QueueText(Bytes bytes) {
    Outgoing item;
    item.bytes = std::move(bytes);
    item.readyAt = Clock::now();
    out_.push_back(std::move(item));
}

void Simulator::ReadPty(Clock::time_point now) {
    std::uint8_t buffer[65536];
    for (;;) {
        const ssize_t got = read(master_, buffer, sizeof buffer);
        if (got <= 0) {
            return;
        }
        lastInput_ = now;
        bytesIn_ += static_cast<std::uint64_t>(got);
        if (o_.byteRate > 0) {
            // The program's bytes take their time on the line too: a reply
            // starts once its command has wholly arrived.
            commandArrived_ =
                std::max(commandArrived_, now) +
                std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
                    static_cast<double>(got) / static_cast<double>(o_.byteRate)));
        }
        Queue(model_.Feed(ByteView(buffer, static_cast<std::size_t>(got))), now);
    }
}

void Simulator::WritePty(Clock::time_point now) {
    while (master_ >= 0 && !out_.empty() && out_.front().readyAt <= now) {
        Outgoing& item = out_.front();
        const std::size_t end = item.dropLink ? item.keepBytes : item.bytes.size();
        std::size_t want = end - item.sent;
        if (o_.byteRate > 0) {
            const double cap = static_cast<double>(o_.byteRate) / 50; // 20 ms burst
            allowance_ =
                std::min(cap, allowance_ + std::chrono::duration<double>(now - rateMark_).count() *
                                               static_cast<double>(o_.byteRate));
            rateMark_ = now;
            // Whole slices of 10 ms worth of bytes, never a trickle of single
            // bytes (which would wake the reader for every byte).
            const auto slice =
                std::max<std::size_t>(1, static_cast<std::size_t>(o_.byteRate / 100));
            if (allowance_ < static_cast<double>(std::min(want, slice))) {
                return;
            }
            want = std::min(want, static_cast<std::size_t>(allowance_));
        }
        if (want > 0) {
            const ssize_t put = write(master_, item.bytes.data() + item.sent, want);
            if (put <= 0) {
                return; // the pty is full; poll says when it takes more
            }
            item.sent += static_cast<std::size_t>(put);
            bytesOut_ += static_cast<std::uint64_t>(put);
            allowance_ -= static_cast<double>(put);
        }
        if (item.sent < end) {
            return;
        }
        if (item.dropLink) {
            Unplug();
            return;
        }
        out_.pop_front();
    }
}

// How long to wait for the next timed event (none: until something arrives).
// Not rounded to milliseconds: a paced line has sub-millisecond steps.
std::optional<Clock::duration> Simulator::NextWait(Clock::time_point now) const {
    auto next = Clock::time_point::max();
    if (model_.MidCommand()) {
        next = lastInput_ + kIdleFlush;
    }
    if (master_ >= 0 && !out_.empty()) {
        if (out_.front().readyAt > now) {
            next = std::min(next, out_.front().readyAt);
        } else if (o_.byteRate > 0) {
            // Wait until at least 10 ms worth of bytes may go.
            const double need = std::max(1.0, static_cast<double>(o_.byteRate) / 100) - allowance_;
            next = std::min(
                next,
                now + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
                          std::max(0.0, need) / static_cast<double>(o_.byteRate))));
        }
    }
    if (next == Clock::time_point::max()) {
        return std::nullopt;
    }
    return std::max(Clock::duration::zero(), next - now);
}

void Simulator::AcceptControl() {
    const int fd = accept(listen_, nullptr, nullptr);
    if (fd >= 0) {
        clients_.emplace_back(fd, std::string());
    }
}

void Simulator::ReadControl(std::size_t index) {
    char buffer[4096];
    auto& [fd, partial] = clients_[index];
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got <= 0) {
        close(fd);
        fd = -1;
        return;
    }
    partial.append(buffer, static_cast<std::size_t>(got));
    std::size_t newline = 0;
    while ((newline = partial.find('\n')) != std::string::npos) {
        std::string line = partial.substr(0, newline);
        partial.erase(0, newline + 1);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        const std::string answer = Control(line) + "\n";
        std::size_t done = 0;
        while (done < answer.size()) {
            const ssize_t put = write(fd, answer.data() + done, answer.size() - done);
            if (put <= 0) {
                break;
            }
            done += static_cast<std::size_t>(put);
        }
    }
    if (partial.size() > 65536) {
        partial.clear();
    }
}

std::string Simulator::Control(const std::string& line) {
    const auto space = line.find(' ');
    const std::string command = line.substr(0, space);
    const std::string argument = space == std::string::npos ? "" : line.substr(space + 1);
    if (command == "scan" || command == "scan-record") {
        std::optional<Bytes> record;
        if (command == "scan" && IsChipText(argument)) {
            record = ScanRecordFor(argument);
        } else if (command == "scan-record" && argument.size() == 12) {
            record = ParseHex(argument);
        }
        if (!record) {
            return "error bad chip";
        }
        if (auto text = model_.Scan(*record); text && master_ >= 0) {
            QueueText(std::move(*text));
        }
        return "ok";
    }
    if (command == "unplug") {
        Unplug();
        return "ok";
    }
    if (command == "replug") {
        if (master_ < 0 && !Plug()) {
            return "error cannot create the pty";
        }
        return "ok";
    }
    if (command == "dump") {
        if (!argument.empty()) {
            WriteDump(argument);
            return "ok";
        }
        return QJsonDocument(model_.Dump(false)).toJson(QJsonDocument::Compact).toStdString();
    }
    if (command == "bytes") {
        return "ok in=" + std::to_string(bytesIn_) + " out=" + std::to_string(bytesOut_);
    }
    if (command == "fault") {
        return SetFault(argument);
    }
    if (command == "status") {
        return "ok plugged=" + std::to_string(master_ >= 0 ? 1 : 0) +
               " keyboard=" + std::to_string(model_.KeyboardMode() ? 1 : 0) +
               " commands=" + std::to_string(model_.CommandCount());
    }
    if (command == "quit") {
        quit_ = true;
        return "ok";
    }
    return "error unknown command";
}

std::string Simulator::SetFault(const std::string& argument) {
    if (argument == "none") {
        model_.ClearFaults();
        o_.latencyMs = 0;
        return "ok";
    }
    const auto space = argument.find(' ');
    const std::string kind = argument.substr(0, space);
    const std::string value = space == std::string::npos ? "" : argument.substr(space + 1);
    long n = 0;
    if (kind == "latency" && ParseNumber(value, n)) {
        o_.latencyMs = n;
        return "ok";
    }
    return model_.SetFault(kind, value) ? "ok" : "error bad fault";
}

void Simulator::WriteDump(const std::filesystem::path& file) const {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << QJsonDocument(model_.Dump(true)).toJson(QJsonDocument::Indented).toStdString();
}

int Simulator::Run() {
    if (!o_.logFile.empty()) {
        log_ = std::fopen(o_.logFile.c_str(), "w");
        if (log_ == nullptr) {
            std::cerr << "tallybird-sim: cannot write " << o_.logFile << '\n';
            return 1;
        }
        model_.logSink = [this](const std::string& line) {
            std::fprintf(log_, "%s\n", line.c_str());
            std::fflush(log_);
        };
    }
    LoadContents(o_, model_);
    if (o_.keyboard) {
        model_.Feed(ByteView(reinterpret_cast<const std::uint8_t*>("RO\x01\r"), 4));
    }

    sigset_t mask;
    sigemptyset(&mask);
    sigaddset(&mask, SIGINT);
    sigaddset(&mask, SIGTERM);
    sigprocmask(SIG_BLOCK, &mask, nullptr);
    signals_ = signalfd(-1, &mask, SFD_CLOEXEC);
    std::signal(SIGPIPE, SIG_IGN);

    if (!o_.control.empty()) {
        listen_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string path = o_.control.string();
        if (path.size() >= sizeof address.sun_path) {
            std::cerr << "tallybird-sim: control path too long\n";
            return kUsageError;
        }
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        std::error_code ec;
        std::filesystem::remove(o_.control, ec);
        if (bind(listen_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(listen_, 8) != 0) {
            std::cerr << "tallybird-sim: cannot listen on " << path << '\n';
            return 1;
        }
    }
    if (!Plug()) {
        std::cerr << "tallybird-sim: cannot create the pseudo-terminal\n";
        return 1;
    }
    rateMark_ = Clock::now();

    while (!quit_) {
        std::vector<pollfd> fds;
        fds.push_back({signals_, POLLIN, 0});
        fds.push_back({listen_, POLLIN, 0});
        // Throttled output goes by the timer; POLLOUT would wake us at once.
        const bool wantWrite = master_ >= 0 && !out_.empty() &&
                               out_.front().readyAt <= Clock::now() && o_.byteRate == 0;
        fds.push_back({master_, static_cast<short>(POLLIN | (wantWrite ? POLLOUT : 0)), 0});
        for (const auto& client : clients_) {
            fds.push_back({client.first, POLLIN, 0});
        }
        std::optional<Clock::duration> wait = NextWait(Clock::now());
        if (wantWrite) {
            wait.reset(); // POLLOUT says when
        }
        timespec timeout{};
        if (wait) {
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(*wait).count();
            timeout.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
            timeout.tv_nsec = static_cast<long>(ns % 1'000'000'000);
        }
        if (ppoll(fds.data(), fds.size(), wait ? &timeout : nullptr, nullptr) < 0 &&
            errno != EINTR) {
            break;
        }
        const auto now = Clock::now();
        if (fds[0].revents & POLLIN) {
            break;
        }
        if (listen_ >= 0 && (fds[1].revents & POLLIN)) {
            AcceptControl();
        }
        if (master_ >= 0 && (fds[2].revents & POLLIN)) {
            ReadPty(now);
        }
        if (master_ >= 0 && model_.MidCommand() && now - lastInput_ >= kIdleFlush) {
            Queue(model_.IdleFlush(), now);
        }
        if (master_ >= 0) {
            WritePty(now);
        }
        for (std::size_t i = 0; i + 3 < fds.size() + 0 && i < clients_.size(); ++i) {
            if (fds[i + 3].revents & (POLLIN | POLLHUP | POLLERR)) {
                ReadControl(i);
            }
        }
        std::erase_if(clients_, [](const auto& client) { return client.first < 0; });
    }

    if (!o_.dumpOnExit.empty()) {
        WriteDump(o_.dumpOnExit);
    }
    Unplug();
    for (const auto& client : clients_) {
        close(client.first);
    }
    if (listen_ >= 0) {
        close(listen_);
        std::error_code ec;
        std::filesystem::remove(o_.control, ec);
    }
    if (log_ != nullptr) {
        std::fclose(log_);
    }
    return 0;
}

} // namespace

int RunScannerSimulator(int argc, char** argv) {
    Options options;
    bool help = false;
    const std::string error = ParseOptions(argc, argv, options, help);
    if (help) {
        std::cout << kHelp;
        return 0;
    }
    if (!error.empty()) {
        std::cerr << "tallybird-sim scanner: " << error << "\n(see --help)\n";
        return kUsageError;
    }
    Simulator simulator(std::move(options));
    return simulator.Run();
}

} // namespace tallybird::sim
