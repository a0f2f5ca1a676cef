// The soak: many synchronisation sessions in a row against one simulated
// scanner (its memory lives on from session to session) and the simulated
// service, with random faults on both sides and the service's list changing
// between sessions. Some sessions run as `tallybird-cli sync` and are killed
// at a random moment.
//
// Every session must end in one of the session's ends (orderly, failure
// path, software error) within its time limits. After every session that
// ran without a fault, and after a last clean session, the scanner and the
// data folder are checked: the scanner's list is the service's list, record
// for record, attributes included; every record is a chip number; the scan
// log is empty and every chip scanned so far reached the service; the
// scanner's time stamp is the service's time; the saved copy of the list is
// the scanner's list; no marker and no temporary file is left.
//
//   tallybird_soak [SESSIONS [SEED]]     default 200 sessions, seed 1
//
// TALLYBIRD_SOAK_VERBOSE=1 prints every session and the program's log;
// TALLYBIRD_SOAK_KEEP=FOLDER keeps the service's state, the scanner's dump
// and its wire log there when a list is found unlike the service's.
//
// Prints its figures; exits 0 only when nothing was lost, corrupted, hung or
// crashed. Not a test: scripts/run soak runs it.
#include "model/list_record.h"
#include "model/lost_list.h"
#include "model/session_file.h"
#include "support/session_rig.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLoggingCategory>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace tallybird::soak {
namespace {

using namespace std::chrono_literals;
using test::RecordingObserver;
using test::SessionRig;
using Clock = std::chrono::steady_clock;

constexpr double kFirstTime = 1765000000;
const std::string kOrderly = SessionEndName(SessionEnd::Orderly);
// The failure that asks the user to call for assistance.
constexpr const char* kAssistanceStop = "Recover from fail";
constexpr int kFirstListSize = 3000;
constexpr int kMaxListSize = 9000;
// Longer than any session may take, even one slowed on every command: a
// session still running then has hung.
constexpr auto kHangLimit = 300s;
// The service client's limits in this run, short so that a service that
// never answers costs seconds, not minutes.
constexpr HttpTimeouts kServiceLimits{2000ms, 4000ms, 10000ms};

std::string Json(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

// A chip number text: a country code of three digits and a national number
// below 2^38 in twelve.
std::string ChipText(unsigned country, std::uint64_t national) {
    char text[32];
    std::snprintf(text, sizeof text, "%03u%012llu", country,
                  static_cast<unsigned long long>(national));
    return text;
}

// Numbers at the edges of the record layout: country codes below 4 (first
// record byte 255), the largest national number, the largest country code.
const std::vector<std::string> kEdgeChips{
    "000000000000001", "001000000000000", "002274877906943", "003274877906942",
    "004000000000000", "999274877906943", "999000000000001", "255255255255255",
};

// The service's list for the owner's country and its change log.
class ServiceList {
public:
    explicit ServiceList(std::mt19937& random) : random_(random) {
        for (int k = 0; k < kFirstListSize; ++k) {
            Add(NewChip(), Attribute(), 1, time_);
        }
        log_ = QJsonArray{}; // the first list is the whole list, not changes
    }

    // Random changes after the last ones: additions, removals of random
    // numbers and of runs of neighbours (so whole sectors are refilled),
    // numbers added again after their removal, removals of numbers the list
    // does not hold.
    void Change() {
        time_ += 100;
        const double at = time_ - 50;
        const int kind = Pick(100);
        if (kind < 20) {
            return; // no change this time
        }
        int additions = 0;
        int removals = 0;
        if (kind < 65) {
            additions = Pick(30);
            removals = Pick(30);
        } else if (kind < 80) {
            additions = 200 + Pick(1800);
        } else if (kind < 92) {
            RemoveRun(100 + Pick(900), at);
        } else {
            additions = Pick(400);
            removals = Pick(400);
        }
        if (static_cast<int>(chips_.size()) + additions > kMaxListSize) {
            RemoveRun(additions + 500, at);
        }
        for (int i = 0; i < removals && !order_.empty(); ++i) {
            Remove(order_[static_cast<std::size_t>(Pick(static_cast<int>(order_.size())))], at);
        }
        for (int i = 0; i < additions; ++i) {
            std::string chip = NewChip();
            if (Pick(20) == 0 && !removed_.empty()) {
                chip = removed_[static_cast<std::size_t>(Pick(static_cast<int>(removed_.size())))];
            } else if (Pick(50) == 0) {
                chip =
                    kEdgeChips[static_cast<std::size_t>(Pick(static_cast<int>(kEdgeChips.size())))];
            }
            if (chips_.count(chip) == 0) {
                Add(chip, Attribute(), Pick(2) == 0 ? 1 : 2, at);
            }
        }
        if (Pick(10) == 0) {
            Log(at, 102, NewChip(), 0); // a number the list never held
        }
        ++changedLists;
    }

    // Log entries the scanner (at `stamp`) no longer needs are dropped: the
    // state stays small over thousands of sessions.
    QJsonObject State(double stamp) const {
        QJsonArray lost;
        for (const auto& [chip, attribute] : chips_) {
            lost.append(
                QJsonObject{{"chip", QString::fromStdString(chip)}, {"attribute", attribute}});
        }
        // A scanner stamped before the first list (new, or just reset) gets
        // the whole list whatever the log holds.
        QJsonArray log;
        for (const QJsonValue& entry : log_) {
            if (stamp >= kFirstTime && entry.toObject().value("time").toDouble() > stamp) {
                log.append(entry);
            }
        }
        const QJsonObject country{{"lost", lost},
                                  {"log", log},
                                  {"logStart", stamp >= kFirstTime ? stamp : time_},
                                  {"organisations", QJsonArray{"Vets North", "01632 960001"}}};
        return QJsonObject{{"time", time_}, {"countries", QJsonObject{{"1", country}}}};
    }

    const std::map<std::string, int>& Chips() const { return chips_; }
    // Whether the chip was ever added with this attribute.
    bool Given(const std::string& chip, int attribute) const {
        const auto found = given_.find(chip);
        return found != given_.end() && found->second.count(attribute) != 0;
    }
    double Time() const { return time_; }
    double LastChange() const { return lastChange_; }
    int Pick(int below) { return std::uniform_int_distribution<int>(0, below - 1)(random_); }

    long added = 0;
    long removed = 0;
    long changedLists = 0;

private:
    std::string NewChip() {
        static const unsigned kCountries[] = {826, 985, 250, 276, 380, 36, 124, 840};
        const unsigned country =
            Pick(4) == 0 ? static_cast<unsigned>(Pick(1000)) : kCountries[Pick(8)];
        const auto national =
            std::uniform_int_distribution<std::uint64_t>(1, (std::uint64_t{1} << 38) - 1)(random_);
        return ChipText(country, national);
    }
    int Attribute() { return Pick(3) == 0 ? Pick(256) : 0; }

    void Add(const std::string& chip, int attribute, int operation, double at) {
        chips_[chip] = attribute;
        given_[chip].insert(attribute);
        order_.push_back(chip);
        Log(at, operation, chip, attribute);
        ++added;
    }
    // By value: the caller's text may be an entry of order_, which moves.
    void Remove(std::string chip, double at) {
        chips_.erase(chip);
        std::erase(order_, chip);
        removed_.push_back(chip);
        Log(at, Pick(2) == 0 ? 100 : 102, chip, 0);
        ++removed;
    }
    // Neighbours in the order they were added, which is their order in the
    // scanner's memory unless gaps were refilled.
    void RemoveRun(int count, double at) {
        if (order_.empty()) {
            return;
        }
        const int start = Pick(static_cast<int>(order_.size()));
        const std::vector<std::string> run(
            order_.begin() + start,
            order_.begin() + std::min<int>(static_cast<int>(order_.size()), start + count));
        for (const std::string& chip : run) {
            Remove(chip, at);
        }
    }
    void Log(double at, int operation, const std::string& chip, int attribute) {
        lastChange_ = at;
        log_.append(QJsonObject{{"time", at},
                                {"operation", operation},
                                {"chip", QString::fromStdString(chip)},
                                {"attribute", attribute}});
    }

    std::mt19937& random_;
    double time_ = kFirstTime + 100;
    std::map<std::string, int> chips_;
    std::map<std::string, std::set<int>> given_;
    double lastChange_ = 0;
    std::vector<std::string> order_;
    std::vector<std::string> removed_;
    QJsonArray log_;
};

// What a session was given to go wrong with.
struct Faults {
    std::string scanner; // "" or the simulator's fault line ("silent SN")
    std::string scannerKind;
    bool kill = false;
    std::string serviceEndpoint;
    std::string serviceMode; // html, 500, slow, truncated, partial, raw, endless, down
    double serviceDelay = 0;
    std::string serviceHex;
    std::string serviceKind;

    bool Any() const { return !scannerKind.empty() || kill || !serviceKind.empty(); }
};

struct Figures {
    int sessions = 0;
    std::map<std::string, int> ends;
    std::map<std::string, int> scannerFaults;
    std::map<std::string, int> serviceFaults;
    int checks = 0;
    int recoveries = 0; // clean sessions after a faulted one whose checks passed
    int secondTries = 0;
    int assistanceStops = 0;
    int chipsScanned = 0;
    int chipsLost = 0;
    int corruptedRecords = 0;
    int listMismatches = 0;
    int crashes = 0;
    int hangs = 0;
    double longestSession = 0;
    std::vector<std::string> problems;

    void Problem(int session, const std::string& text) {
        if (problems.size() < 40) {
            problems.push_back("session " + std::to_string(session) + ": " + text);
        }
    }
};

// Ends the whole run when one session goes on past the hang limit.
class HangWatch {
public:
    HangWatch()
        : thread_([this] {
              std::unique_lock lock(mutex_);
              while (!stop_) {
                  if (armed_ && Clock::now() > deadline_) {
                      std::fprintf(stderr, "HANG: session %d still running after %lld s\n",
                                   session_, static_cast<long long>(kHangLimit.count()));
                      std::fflush(stderr);
                      _exit(3);
                  }
                  wake_.wait_for(lock, 1s);
              }
          }) {}
    ~HangWatch() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    void Arm(int session) {
        std::lock_guard lock(mutex_);
        session_ = session;
        deadline_ = Clock::now() + kHangLimit;
        armed_ = true;
    }
    void Disarm() {
        std::lock_guard lock(mutex_);
        armed_ = false;
    }

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    bool armed_ = false;
    int session_ = 0;
    Clock::time_point deadline_;
    std::thread thread_;
};

class Soak {
public:
    Soak(int sessions, unsigned seed)
        : sessions_(sessions), random_(seed), service_(random_), rig_(Json(service_.State(0))) {
        rig_.PlugScanner({});
        std::printf("soak: %d sessions, seed %u, first list %d chips\n", sessions, seed,
                    kFirstListSize);
    }

    int Run() {
        const auto start = Clock::now();
        bool lastFaulted = false;
        for (int n = 1; n <= sessions_; ++n) {
            const bool last = n == sessions_;
            if (n > 1) {
                service_.Change();
            }
            SetServiceState();
            ScanSomeChips();
            const Faults faults = last ? Faults{} : PickFaults();
            RunOne(n, faults, lastFaulted);
            lastFaulted = faults.Any();
            if (n % 50 == 0) {
                std::printf("  %d sessions, %.0f s\n", n,
                            std::chrono::duration<double>(Clock::now() - start).count());
                std::fflush(stdout);
            }
        }
        PrintFigures(std::chrono::duration<double>(Clock::now() - start).count());
        const bool sound = figures_.chipsLost == 0 && figures_.corruptedRecords == 0 &&
                           figures_.listMismatches == 0 && figures_.crashes == 0 &&
                           figures_.hangs == 0 && figures_.problems.empty();
        return sound ? 0 : 1;
    }

private:
    int Pick(int below) { return service_.Pick(below); }

    Faults PickFaults() {
        Faults f;
        const int scanner = Pick(100);
        const int typical = std::max(lastCommands_, 12);
        // The list read-back ("UP") is left out of the faults by kind of
        // command: a reply to it that never ends (silent, short, garbage,
        // bytes after its end) is waited for up to its 600 s limit, which
        // the transport's tests show, and would stall the soak. A link
        // dropped during it is in.
        static const std::vector<std::string> kCodes{"SN", "VR", "VY", "SC", "TN", "WR",
                                                     "SE", "RD", "TW", "CC", "EF", "DL"};
        const std::string code = kCodes[static_cast<std::size_t>(Pick(12))];
        if (scanner < 8) {
            // The scanner falls silent at the first command of a kind.
            f.scannerKind = "silence";
            f.scanner = "silent " + code;
        } else if (scanner < 14) {
            f.scannerKind = "garbage";
            f.scanner = "garbage " + code;
        } else if (scanner < 20) {
            f.scannerKind = "short reply";
            f.scanner = "short " + code;
        } else if (scanner < 26) {
            f.scannerKind = "extra bytes";
            f.scanner = "extra " + code;
        } else if (scanner < 38) {
            f.scannerKind = "link dropped";
            f.scanner = "drop-after " + std::to_string(1 + Pick(typical)) + ":" +
                        std::to_string(Pick(4) == 0 ? Pick(2000) : Pick(3));
        } else if (scanner < 44) {
            f.scannerKind = "slow replies";
            // Slow but in time, or once past the command's time limit.
            f.scanner = "latency " + std::to_string(Pick(5) == 0 ? 2500 : 1 + Pick(15));
        } else if (scanner < 52) {
            f.kill = true;
        }

        static const std::vector<std::string> kEndpoints{"getlost.php", "upscan.php",
                                                         "getscannertime.php",
                                                         "getorganisations.php", "scanreg.php"};
        const int service = Pick(100);
        f.serviceEndpoint = kEndpoints[static_cast<std::size_t>(Pick(5))];
        if (service < 5) {
            f.serviceKind = "down";
            f.serviceMode = "down";
        } else if (service < 10) {
            f.serviceKind = "slow";
            f.serviceMode = "slow";
            f.serviceDelay = Pick(3) == 0 ? 5.0 : 0.2 + Pick(10) / 10.0;
        } else if (service < 14) {
            f.serviceKind = "HTML page";
            f.serviceMode = "html";
        } else if (service < 18) {
            f.serviceKind = "status 500";
            f.serviceMode = "500";
        } else if (service < 22) {
            f.serviceKind = "truncated";
            f.serviceMode = "truncated";
        } else if (service < 25) {
            f.serviceKind = "endless";
            f.serviceMode = "endless";
        } else if (service < 30) {
            f.serviceKind = "malformed";
            if (Pick(2) == 0) {
                f.serviceMode = "partial";
            } else {
                f.serviceMode = "raw";
                const int length = Pick(40);
                for (int i = 0; i < length; ++i) {
                    char hex[4];
                    std::snprintf(hex, sizeof hex, "%02x", Pick(256));
                    f.serviceHex += hex;
                }
            }
        }
        // A killed program is a process of its own with the service limits
        // of the real program: no fault that makes it wait a minute.
        if (f.kill && (f.serviceMode == "down" || f.serviceMode == "slow" ||
                       f.serviceMode == "truncated" || f.serviceMode == "endless")) {
            f.serviceKind.clear();
            f.serviceMode.clear();
        }
        return f;
    }

    void SetServiceState() {
        CollectUploads();
        const double stamp = rig_.Scanner().Dump().value("timeStamp").toDouble();
        if (!rig_.Service().SetState(service_.State(stamp))) {
            figures_.Problem(figures_.sessions + 1, "the service simulator refused its state");
        }
    }

    void ScanSomeChips() {
        const int count = Pick(4);
        for (int i = 0; i < count; ++i) {
            std::string chip;
            if (Pick(4) == 0 && !service_.Chips().empty()) {
                auto it = service_.Chips().begin();
                std::advance(it, Pick(static_cast<int>(service_.Chips().size())));
                chip = it->first; // a missing animal found
            } else {
                chip = ChipText(826 + static_cast<unsigned>(Pick(3)),
                                static_cast<std::uint64_t>(Pick(1 << 30)));
            }
            if (rig_.Scanner().Control("scan " + chip) == "ok") {
                if (verbose_) {
                    std::printf("scanned %s\n", chip.c_str());
                }
                scanned_.insert(chip);
                ++figures_.chipsScanned;
            }
        }
    }

    // Every scanned chip the service received so far (its record of
    // uploads starts again with every new state).
    void CollectUploads() {
        const QJsonObject state = rig_.Service().State();
        if (!state.contains("countries")) {
            figures_.Problem(figures_.sessions, "the service simulator's state could not be read");
        }
        for (const QJsonValue& upload : state.value("uploads").toArray()) {
            const std::string body = upload.toObject().value("body").toString().toStdString();
            for (const std::string& chip : scanned_) {
                if (body.find(chip) != std::string::npos) {
                    uploaded_.insert(chip);
                }
            }
        }
    }

    void RunOne(int n, const Faults& f, bool afterFault) {
        ++figures_.sessions;
        if (!f.scanner.empty()) {
            ++figures_.scannerFaults[f.scannerKind];
            if (rig_.Scanner().Control("fault " + f.scanner) != "ok") {
                figures_.Problem(n, "the scanner simulator refused fault " + f.scanner);
            }
        }
        if (f.kill) {
            ++figures_.scannerFaults["program killed"];
        }
        std::string baseUrl = rig_.state.serverBaseUrl;
        if (!f.serviceKind.empty()) {
            ++figures_.serviceFaults[f.serviceKind];
            if (f.serviceMode == "down") {
                baseUrl = "http://127.0.0.1:" + std::to_string(refusing_.Port()) + "/alpha/";
            } else if (!rig_.Service().SetFault(f.serviceEndpoint, f.serviceMode, f.serviceDelay,
                                                f.serviceHex)) {
                figures_.Problem(n, "the service simulator refused fault " + f.serviceMode);
            }
        }

        watch_.Arm(n);
        const auto start = Clock::now();
        std::string end = f.kill ? RunKilled(n) : RunHere(n, baseUrl);
        const double took = std::chrono::duration<double>(Clock::now() - start).count();
        figures_.longestSession = std::max(figures_.longestSession, took);
        if (!f.Any()) {
            lastSessionMs_ = static_cast<int>(took * 1000);
        }
        watch_.Disarm();

        // Everything back to normal for the next session.
        rig_.Scanner().Control("fault none");
        rig_.Scanner().Control("replug");
        if (!f.serviceKind.empty() && f.serviceMode != "down") {
            rig_.Service().SetFault(f.serviceEndpoint, "none");
        }
        if (f.kill) {
            // A reply cut off by the kill drains before the next session.
            std::this_thread::sleep_for(100ms);
            rig_.Restart();
        }

        if (!f.Any()) {
            for (int attempt = 0; end != kOrderly && attempt < 2; ++attempt) {
                if (lastMessage_.find(kAssistanceStop) != std::string::npos) {
                    // The program's copy is newer than the scanner's stamp:
                    // it stops and asks the user to call for assistance.
                    // Support has the copy removed; the next session reads
                    // the list back. (A garbage time stamp that a read-back
                    // once took as the scanner's gets here.)
                    ++figures_.assistanceStops;
                    std::filesystem::remove(rig_.dataFolder() / SessionFileName(66051));
                } else if (afterFault) {
                    // The fault before can still spoil the first command (a
                    // reply under way when the program was killed); the next
                    // session must repair all the same.
                    ++figures_.secondTries;
                    std::this_thread::sleep_for(500ms);
                } else {
                    break;
                }
                rig_.Restart();
                end = RunHere(n, rig_.state.serverBaseUrl);
            }
            if (end != kOrderly) {
                figures_.Problem(n, "a session without faults ended: " + end + " (" + lastMessage_ +
                                        ")");
            } else if (Check(n) && afterFault) {
                ++figures_.recoveries;
            }
        }
        ++figures_.ends[end];
        if (verbose_) {
            std::printf("session %d: scanner fault '%s'%s, service fault '%s %s' on %s: %s (%s)\n",
                        n, f.scanner.c_str(), f.kill ? " killed" : "", f.serviceMode.c_str(),
                        f.serviceHex.c_str(), f.serviceEndpoint.c_str(), end.c_str(),
                        lastMessage_.c_str());
        }
        const auto commands = rig_.Scanner().Control("status");
        const auto at = commands.find("commands=");
        if (at != std::string::npos) {
            const int total = std::atoi(commands.c_str() + at + 9);
            if (!f.Any()) {
                lastCommands_ = total - commandsBefore_;
            }
            commandsBefore_ = total;
        }
    }

    std::string RunHere(int n, const std::string& baseUrl) {
        RecordingObserver observer;
        CurlHttpClient http(kServiceLimits);
        ServiceClient client(baseUrl, http);
        SessionParts parts{rig_.state, rig_.settings(), rig_.organisations, observer, client,
                           1,          rig_.record};
        parts.sleep = [](std::chrono::milliseconds) {};
        const SessionEnd end = RunSessionOnDevice(rig_.Scanner().Link(), std::move(parts));
        lastMessage_ = observer.messages.empty() ? "" : observer.messages.back();
        if (end == SessionEnd::NotRun) {
            figures_.Problem(n, "the session did not run");
        }
        return SessionEndName(end);
    }

    // `tallybird-cli sync` killed (SIGKILL: nothing of the program runs
    // after it) at a random moment of the session.
    std::string RunKilled(int n) {
        QProcess process;
        test::StartCli(process, rig_.ConfigHome(),
                       {"sync", QString::fromStdString(rig_.Scanner().Link().string())});
        if (!process.waitForStarted()) {
            figures_.Problem(n, "tallybird-cli did not start");
            return "not run";
        }
        const int killAt = Pick(3000 + 2 * lastSessionMs_);
        if (process.waitForFinished(killAt)) {
            // It ended before the kill: by itself, with one of its ends.
            if (process.exitStatus() != QProcess::NormalExit || process.exitCode() > 2) {
                ++figures_.crashes;
                figures_.Problem(n, "tallybird-cli crashed: " +
                                        process.readAllStandardError().toStdString());
                return "crash";
            }
            // Exit codes 0, 1 and 2, as tallybird-cli documents them.
            static const SessionEnd kEnds[] = {SessionEnd::Orderly, SessionEnd::Failure,
                                               SessionEnd::SoftwareError};
            lastMessage_ = process.readAllStandardError().toStdString();
            return SessionEndName(kEnds[process.exitCode()]);
        }
        process.kill();
        process.waitForFinished();
        return "killed";
    }

    void Fail(int n, int& counter, const std::string& text) {
        ++counter;
        figures_.Problem(n, text);
    }

    // The scanner and the data folder after a session without faults.
    bool Check(int n) {
        ++figures_.checks;
        const int problemsBefore = static_cast<int>(figures_.problems.size());
        const QJsonObject dump = rig_.Scanner().Dump();

        // The list, record by record.
        std::map<std::string, int> onScanner;
        std::vector<std::pair<double, int>> slots;
        for (const QJsonValue& value : dump.value("list").toArray()) {
            const QJsonObject record = value.toObject();
            const std::string hex = record.value("hex").toString().toStdString();
            std::uint8_t bytes[7] = {};
            for (int i = 0; i < 7 && hex.size() == 14; ++i) {
                bytes[i] = static_cast<std::uint8_t>(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
            }
            const double chip = ListRecordValue(bytes);
            const int attribute = record.value("attribute").toInt();
            slots.emplace_back(chip, attribute);
            if (chip == 0) {
                continue; // a cleared record
            }
            char text[32];
            std::snprintf(text, sizeof text, "%015.0f", chip);
            const bool wellFormed =
                ListRecordOf(chip, static_cast<std::uint8_t>(attribute)) ==
                ListRecord{bytes[0], bytes[1], bytes[2], bytes[3], bytes[4], bytes[5], bytes[6]};
            if (!wellFormed || chip >= 1e15 || onScanner.count(text) != 0) {
                Fail(n, figures_.corruptedRecords,
                     std::string(wellFormed ? "a number held twice: " : "a corrupted record: ") +
                         hex);
                continue;
            }
            onScanner[text] = attribute;
        }
        // The same numbers as the service. An attribute is one the service
        // gave the number: a removal and a new addition that meet in one
        // reply cancel out, and an addition of a number the list holds is
        // dropped, so the scanner keeps the attribute of an earlier addition.
        int missing = 0;
        int extra = 0;
        int attributes = 0;
        std::string examples;
        for (const auto& entry : service_.Chips()) {
            if (onScanner.count(entry.first) == 0 && ++missing <= 3) {
                examples += " -" + entry.first;
            }
        }
        for (const auto& [chip, attribute] : onScanner) {
            if (service_.Chips().count(chip) == 0) {
                if (++extra <= 3) {
                    examples += " +" + chip;
                }
            } else if (!service_.Given(chip, attribute) && ++attributes <= 3) {
                examples += " " + chip + " has attribute " + std::to_string(attribute);
            }
        }
        if (missing + extra + attributes > 0) {
            if (const char* keep = std::getenv("TALLYBIRD_SOAK_KEEP")) {
                // What support needs to follow the mismatch up.
                const std::filesystem::path folder(keep);
                std::filesystem::create_directories(folder);
                test::WriteTextFile(folder / "service.json", Json(rig_.Service().State()));
                test::WriteTextFile(folder / "scanner.json", Json(dump));
                test::WriteTextFile(folder / "wire.log", rig_.Scanner().WireLog());
            }
            Fail(n, figures_.listMismatches,
                 "the scanner's list is not the service's: " + std::to_string(missing) +
                     " missing, " + std::to_string(extra) + " extra, " +
                     std::to_string(attributes) + " with an attribute never given;" + examples);
        }

        if (!dump.value("scanLog").toArray().isEmpty()) {
            figures_.Problem(n, "the scan log was not cleared");
        }
        // The time stamp moves on with every session that brought changes:
        // the next one asks for nothing older than the last change.
        const double stamp = dump.value("timeStamp").toDouble();
        if (stamp < service_.LastChange() || stamp > service_.Time()) {
            figures_.Problem(n, "the scanner's time stamp " + std::to_string(stamp) +
                                    " is not between the last change " +
                                    std::to_string(service_.LastChange()) +
                                    " and the service's time " + std::to_string(service_.Time()));
        }
        CollectUploads();
        std::vector<std::string> lost;
        for (const std::string& chip : scanned_) {
            if (uploaded_.count(chip) == 0) {
                lost.push_back(chip);
            }
        }
        for (const std::string& chip : lost) {
            Fail(n, figures_.chipsLost, "chip " + chip + " never reached the service");
            scanned_.erase(chip); // counted once
        }

        // The data folder: the saved copy is the scanner's list; no marker,
        // no temporary file.
        const auto folder = rig_.dataFolder();
        const std::optional<SessionFileData> copy =
            DecodeSessionFile(test::ReadFile(folder / SessionFileName(66051)));
        if (!copy) {
            figures_.Problem(n, "no readable copy of the list was saved");
        } else {
            // A cleared record's attribute means nothing; the copy may keep
            // the old one.
            std::size_t k = 0;
            while (k < slots.size() && copy->list.values[k] == slots[k].first &&
                   (slots[k].first == 0 || copy->list.attributes[k] == slots[k].second)) {
                ++k;
            }
            if (k < slots.size() || copy->list.count != static_cast<std::int32_t>(slots.size())) {
                char text[160];
                std::snprintf(text, sizeof text,
                              "the saved copy of the list (%d slots) is not the scanner's (%zu): "
                              "slot %zu holds %.0f/%d, the scanner %.0f/%d",
                              copy->list.count, slots.size(), k, copy->list.values[k],
                              copy->list.attributes[k], k < slots.size() ? slots[k].first : -1.0,
                              k < slots.size() ? slots[k].second : -1);
                figures_.Problem(n, text);
            }
        }
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            const std::string name = entry.path().filename().string();
            if (name.ends_with(".err")) {
                figures_.Problem(n, "a marker was left: " + name);
            } else if (name.starts_with(".")) {
                figures_.Problem(n, "a temporary file was left: " + name);
            }
        }
        return static_cast<int>(figures_.problems.size()) == problemsBefore;
    }

    void PrintFigures(double seconds) {
        CollectUploads();
        std::printf("\nsessions: %d in %.0f s (longest %.1f s)\n", figures_.sessions, seconds,
                    figures_.longestSession);
        std::printf("ends:");
        for (const auto& [end, count] : figures_.ends) {
            std::printf("  %s %d", end.c_str(), count);
        }
        std::printf("\nscanner faults:");
        for (const auto& [kind, count] : figures_.scannerFaults) {
            std::printf("  %s %d", kind.c_str(), count);
        }
        std::printf("\nservice faults:");
        for (const auto& [kind, count] : figures_.serviceFaults) {
            std::printf("  %s %d", kind.c_str(), count);
        }
        std::printf("\nservice list: %ld changed, %ld additions, %ld removals; %zu chips now\n",
                    service_.changedLists, service_.added, service_.removed,
                    service_.Chips().size());
        std::printf("checks after clean sessions: %d; recoveries after a fault: %d "
                    "(%d needed a second session); stops for assistance: %d\n",
                    figures_.checks, figures_.recoveries, figures_.secondTries,
                    figures_.assistanceStops);
        std::printf("chips scanned: %d; reached the service: %zu; lost: %d\n",
                    figures_.chipsScanned, uploaded_.size(), figures_.chipsLost);
        std::printf("corrupted records: %d; lists unlike the service's: %d; crashes: %d; "
                    "hangs: %d\n",
                    figures_.corruptedRecords, figures_.listMismatches, figures_.crashes,
                    figures_.hangs);
        for (const std::string& problem : figures_.problems) {
            std::printf("PROBLEM %s\n", problem.c_str());
        }
        std::fflush(stdout);
    }

    int sessions_;
    std::mt19937 random_;
    ServiceList service_;
    SessionRig rig_;
    test::RefusingPort refusing_;
    HangWatch watch_;
    Figures figures_;
    std::set<std::string> scanned_;
    std::set<std::string> uploaded_;
    int lastCommands_ = 0;
    int commandsBefore_ = 0;
    int lastSessionMs_ = 1000;
    std::string lastMessage_;
    bool verbose_ = std::getenv("TALLYBIRD_SOAK_VERBOSE") != nullptr;
};

} // namespace
} // namespace tallybird::soak

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (std::getenv("TALLYBIRD_SOAK_VERBOSE") == nullptr) {
        // Hundreds of sessions' logs would hide the figures; a problem is
        // described by the soak's own lines.
        QLoggingCategory::setFilterRules("tallybird.*=false");
    }
    const int sessions = argc > 1 ? std::atoi(argv[1]) : 200;
    const auto seed = static_cast<unsigned>(argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 1);
    if (sessions < 1 || argc > 3) {
        std::fprintf(stderr, "usage: tallybird_soak [SESSIONS [SEED]]\n");
        return 64;
    }
    tallybird::soak::Soak soak(sessions, seed);
    return soak.Run();
}
