// Failures at every kind of step, and scanners cut off at every command: the
// marker each failure leaves, and the repair the next session makes.
#include "support/session_rig.h"

#include "model/list_record.h"
#include "model/session_file.h"
#include "platform/atomic_file.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <thread>

namespace tallybird::test {
namespace {

constexpr double kStamp = 1765000000;

std::string ChipText(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%015.0f", value);
    return text;
}

QJsonObject Change(double time, int operation, double chip, int attribute = 0) {
    return QJsonObject{{"time", time},
                       {"operation", operation},
                       {"chip", QString::fromStdString(ChipText(chip))},
                       {"attribute", attribute}};
}

// A service whose list for country 1 is `lost`, reached from the scanner's
// stamp by the changes in `log`.
QJsonObject ServiceState(const std::vector<double>& lost, const QJsonArray& log, double time) {
    QJsonArray chips;
    for (const double chip : lost) {
        chips.append(
            QJsonObject{{"chip", QString::fromStdString(ChipText(chip))}, {"attribute", 0}});
    }
    const QJsonObject country{{"lost", chips},
                              {"log", log},
                              {"logStart", kStamp},
                              {"organisations", QJsonArray{"Vets North", "01632 960001"}}};
    return QJsonObject{{"time", time}, {"countries", QJsonObject{{"1", country}}}};
}

std::string Json(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

// The chips of the scanner's list memory, cleared records left out, sorted;
// nothing when a record holds no chip number at all.
std::optional<std::vector<double>> ScannerChips(const ScannerSim& scanner) {
    std::vector<double> chips;
    for (const QJsonValue& record : scanner.Dump().value("list").toArray()) {
        const std::string text = record.toObject().value("chip").toString().toStdString();
        if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) {
            return std::nullopt;
        }
        if (const double value = std::stod(text); value != 0) {
            chips.push_back(value);
        }
    }
    std::sort(chips.begin(), chips.end());
    return chips;
}

std::vector<double> Sorted(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values;
}

std::string MarkerOf(const SessionRig& rig) {
    const Bytes bytes = ReadFile(rig.dataFolder() / "TBM00066051.err");
    return std::string(bytes.begin(), bytes.end());
}

// Scanner list of 600 chips and a saved copy of it; the service clears 300 of
// them, all in the first sector, and adds two, so that sector is erased and
// rewritten.
struct RefillScenario {
    std::vector<double> scanner;
    std::vector<double> service;
    QJsonArray log;

    RefillScenario() {
        for (int k = 0; k < 600; ++k) {
            scanner.push_back(985000000100000.0 + k);
        }
        service.assign(scanner.begin() + 300, scanner.end());
        for (int k = 0; k < 300; ++k) {
            log.append(Change(kStamp + 10, 102, scanner[static_cast<std::size_t>(k)]));
        }
        for (const double added : {826000000000101.0, 826000000000102.0}) {
            service.push_back(added);
            log.append(Change(kStamp + 10, 1, added, 4));
        }
    }

    std::string State() const { return Json(ServiceState(service, log, kStamp + 100)); }

    // The scanner's memory and the program's saved copy of it.
    QStringList Prime(SessionRig& rig) const {
        Bytes memory;
        SessionFileData file;
        file.timeStamp = kStamp;
        for (std::size_t k = 0; k < scanner.size(); ++k) {
            const ListRecord record = ListRecordOf(scanner[k], static_cast<std::uint8_t>(k % 7));
            memory.insert(memory.end(), record.begin(), record.end());
            file.list.values[k] = scanner[k];
            file.list.attributes[k] = static_cast<std::int16_t>(k % 7);
        }
        file.list.count = static_cast<std::int32_t>(scanner.size());
        WriteFileAtomically(rig.dataFolder() / "TBM00066051.tbf", EncodeSessionFile(file));
        const auto listFile = rig.Dir() / "list.bin";
        WriteFile(listFile, memory);
        return {"--list-file",  QString::fromStdString(listFile.string()),
                "--time-stamp", QString::number(static_cast<qint64>(kStamp)),
                "--scan",       "826000000000555"};
    }
};

TEST(SessionFailureTest, RefillRewritesTheSectorAndKeepsTheStraddlingRecord) {
    const RefillScenario scenario;
    SessionRig rig(scenario.State());
    rig.PlugScanner(scenario.Prime(rig));
    RecordingObserver observer;
    ASSERT_EQ(rig.Run(observer), SessionEnd::Orderly);
    EXPECT_EQ(ScannerChips(rig.Scanner()), Sorted(scenario.service));

    const auto lines = WireLines(rig.Scanner().WireLog());
    const auto erase = std::find(lines.begin(), lines.end(), "SE 00 00 00");
    ASSERT_NE(erase, lines.end());
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "SE 00 00 00"), 1);
    // Slot 585 starts at 4095, in the erased sector: rewritten with the rest.
    EXPECT_NE(std::find(erase, lines.end(), "WR 00 0F FF F6 FF FF FF FF FF FF"), lines.end())
        << "the page-crossing head of slot 585";
}

struct FailingStep {
    std::string step;    // the name the failure path shows
    std::string command; // the wire line that is cut off (first match)
    std::string marker;
};

TEST(SessionFailureTest, EveryPassLeavesItsMarkerAndTheNextSessionRepairs) {
    const RefillScenario scenario;
    std::vector<std::string> reference;
    {
        SessionRig rig(scenario.State());
        rig.PlugScanner(scenario.Prime(rig));
        RecordingObserver observer;
        ASSERT_EQ(rig.Run(observer), SessionEnd::Orderly);
        reference = WireLines(rig.Scanner().WireLog());
    }
    auto indexAfter = [&](const std::string& anchor, const std::string& prefix) {
        auto from = anchor.empty() ? reference.begin()
                                   : std::find(reference.begin(), reference.end(), anchor);
        const auto it = std::find_if(from, reference.end(), [&](const std::string& line) {
            return line.rfind(prefix, 0) == 0;
        });
        return static_cast<int>(it - reference.begin()) + 1; // commands count from 1
    };

    struct Case {
        FailingStep failing;
        int command;
    };
    const std::vector<Case> cases{
        {{"SC", "SC", "ok"}, indexAfter("", "SC")},
        {{"WC1", "WR", "ReWrite"}, indexAfter("DL", "WR")},
        {{"SE", "SE 00 00 00", "ReWrite"}, indexAfter("", "SE 00 00 00")},
        {{"WC2", "WR", "ReWrite"}, indexAfter("SE 00 00 00", "WR")},
        // The list was written: whatever fails before its copy is saved, the
        // next session rewrites it.
        {{"CO", "RD", "ReWrite"}, indexAfter("", "RD")},
        {{"TW", "TW", "ReWrite"}, indexAfter("", "TW")},
        {{"CC", "CC", "ClearScan"}, indexAfter("", "CC")},
        {{"SE3", "SE 1F C0 00", "ClearScan"}, indexAfter("", "SE 1F C0 00")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.failing.step);
        SessionRig rig(scenario.State());
        QStringList options = scenario.Prime(rig);
        options << "--drop-after" << QString::number(c.command);
        ScannerSim& scanner = rig.PlugScanner(options);
        RecordingObserver failed;
        ASSERT_EQ(rig.Run(failed), SessionEnd::Failure);
        EXPECT_EQ(
            failed.messages,
            std::vector<std::string>{"USB Fail: Device Unplugged during write: " + c.failing.step});
        EXPECT_EQ(MarkerOf(rig), c.failing.marker);
        ASSERT_EQ(failed.stopReasons.size(), 1U) << "the window is told why, once";
        EXPECT_NE(failed.stopReasons[0].find("\"" + c.failing.step + "\""), std::string::npos)
            << failed.stopReasons[0];

        EXPECT_EQ(scanner.Control("replug").substr(0, 2), "ok");
        RecordingObserver repaired;
        ASSERT_EQ(rig.Run(repaired), SessionEnd::Orderly) << repaired.messages.size();
        EXPECT_TRUE(repaired.stopReasons.empty());
        EXPECT_EQ(ScannerChips(scanner), Sorted(scenario.service));
        EXPECT_FALSE(std::filesystem::exists(rig.dataFolder() / "TBM00066051.err"));
        EXPECT_TRUE(scanner.Dump().value("scanLog").toArray().isEmpty());
    }
}

// Changes that touch no record (a removal of a chip the scanner does not
// hold) write nothing into the list: a later failure leaves "ok".
TEST(SessionFailureTest, NothingWrittenIntoTheListLeavesNoReWrite) {
    const double unknown = 985000000999999.0;
    const QJsonObject state =
        ServiceState({}, QJsonArray{Change(kStamp + 10, 102, unknown)}, kStamp + 100);
    for (const std::string& cut : {std::string("RD"), std::string("TW")}) {
        SCOPED_TRACE(cut);
        SessionRig reference(Json(state));
        const QStringList options{"--time-stamp", QString::number(static_cast<qint64>(kStamp)),
                                  "--list", QString::fromStdString(ChipText(985000000000001.0))};
        reference.PlugScanner(options);
        RecordingObserver clean;
        ASSERT_EQ(reference.Run(clean), SessionEnd::Orderly);
        const auto lines = WireLines(reference.Scanner().WireLog());
        EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                                [](const std::string& l) { return l.rfind("WR 00", 0) == 0; }),
                  0);
        const auto at = std::find_if(lines.begin(), lines.end(),
                                     [&](const std::string& l) { return l.rfind(cut, 0) == 0; });
        ASSERT_NE(at, lines.end());

        SessionRig rig(Json(state));
        rig.PlugScanner(QStringList(options)
                        << "--drop-after" << QString::number(at - lines.begin() + 1));
        RecordingObserver failed;
        ASSERT_EQ(rig.Run(failed), SessionEnd::Failure);
        EXPECT_EQ(MarkerOf(rig), "ok");
    }
}

TEST(SessionFailureTest, AFailureBeforeTheMarkerWasReadKeepsTheOlderMarker) {
    SessionRig rig(Json(ServiceState({}, {}, kStamp + 100)));
    WriteTextFile(rig.dataFolder() / "TBM00066051.err", "ClearScan");
    rig.PlugScanner({"--drop-after", "4"}); // the read-out
    RecordingObserver observer;
    ASSERT_EQ(rig.Run(observer), SessionEnd::Failure);
    EXPECT_EQ(MarkerOf(rig), "ClearScan");

    SessionRig early(Json(ServiceState({}, {}, kStamp + 100)));
    early.PlugScanner({"--drop-after", "1"});
    RecordingObserver none;
    ASSERT_EQ(early.Run(none), SessionEnd::Failure);
    EXPECT_EQ(none.messages,
              std::vector<std::string>{"USB Fail: Device Unplugged during write: SN"});
    EXPECT_TRUE(std::filesystem::is_empty(early.dataFolder())) << "no serial, no marker";
}

// Raw list memory holding `chips` from slot 0, as the scanner's options.
QStringList ListMemory(const SessionRig& rig, const std::vector<double>& chips) {
    Bytes memory;
    for (const double chip : chips) {
        const ListRecord record = ListRecordOf(chip, 0);
        memory.insert(memory.end(), record.begin(), record.end());
    }
    const auto file = rig.Dir() / "list.bin";
    WriteFile(file, memory);
    return {"--list-file", QString::fromStdString(file.string())};
}

// A scanner whose first sector is full, so the service's few changes are
// written in place rather than by erasing the sector: three chips found and
// four more missing, appended after the list; then, before the next session,
// one of the old chips and the first new one found and three more missing. A
// next session that trusted a copy of the list older than the scanner's would
// append a different sequence over slots that already hold chips.
struct MovingListScenario {
    std::vector<double> scannerList;
    std::vector<double> serviceList;
    QJsonArray log;
    std::vector<double> laterList;
    QJsonArray laterLog;
    std::vector<std::string> scanned{"826000000000777", "985000000000001"};

    MovingListScenario() {
        for (int k = 0; k < 600; ++k) {
            scannerList.push_back(985000000200000.0 + k);
        }
        serviceList.assign(scannerList.begin() + 3, scannerList.end());
        for (int k = 0; k < 3; ++k) {
            log.append(Change(kStamp + 10, 100, scannerList[static_cast<std::size_t>(k)]));
        }
        for (int k = 0; k < 4; ++k) {
            serviceList.push_back(826000000000300.0 + k);
            log.append(Change(kStamp + 10, 2, serviceList.back(), k));
        }
        const double foundOld = serviceList.front();
        const double foundNew = 826000000000300.0;
        for (const double chip : serviceList) {
            if (chip != foundOld && chip != foundNew) {
                laterList.push_back(chip);
            }
        }
        laterLog = log;
        laterLog.append(Change(kStamp + 200, 102, foundOld));
        laterLog.append(Change(kStamp + 200, 100, foundNew));
        for (int k = 0; k < 3; ++k) {
            laterList.push_back(826000000000400.0 + k);
            laterLog.append(Change(kStamp + 200, 1, laterList.back(), 7));
        }
    }

    QJsonObject State() const { return ServiceState(serviceList, log, kStamp + 100); }
    QJsonObject LaterState() const { return ServiceState(laterList, laterLog, kStamp + 300); }

    QStringList Scanner(const SessionRig& rig) const {
        QStringList options = ListMemory(rig, scannerList);
        options << "--time-stamp" << QString::number(static_cast<qint64>(kStamp));
        for (const auto& chip : scanned) {
            options << "--scan" << QString::fromStdString(chip);
        }
        return options;
    }

    // Every scanned chip found in the uploads the service holds now.
    void CollectUploads(SessionRig& rig, std::set<std::string>& uploaded) const {
        for (const QJsonValue& upload : rig.Service().State().value("uploads").toArray()) {
            const std::string body = upload.toObject().value("body").toString().toStdString();
            for (const auto& chip : scanned) {
                if (body.find(chip) != std::string::npos) {
                    uploaded.insert(chip);
                }
            }
        }
    }
};

// The session is cut off at each of its commands in turn; the service's list
// moves on; then a clean session runs. Afterwards the scanner holds exactly
// the service's list, and every chip scanned before the cut was uploaded.
TEST(SessionFailureTest, CutAtEveryCommandThenACleanSession) {
    const MovingListScenario scenario;
    const QJsonObject state = scenario.State();
    const QJsonObject laterState = scenario.LaterState();
    const auto& laterList = scenario.laterList;
    const auto& scanned = scenario.scanned;

    SessionRig rig(Json(state));
    const QStringList options = scenario.Scanner(rig);
    rig.PlugScanner(options);
    RecordingObserver observer;
    ASSERT_EQ(rig.Run(observer), SessionEnd::Orderly);
    const int commands = static_cast<int>(WireLines(rig.Scanner().WireLog()).size());
    ASSERT_GT(commands, 20);

    for (int cut = 1; cut <= commands; ++cut) {
        SCOPED_TRACE("cut at command " + std::to_string(cut));
        std::filesystem::remove_all(rig.dataFolder());
        std::filesystem::create_directories(rig.dataFolder());
        ClearReset(rig.state, rig.settings());
        rig.organisations = OrganisationTable{};
        ASSERT_TRUE(rig.Service().SetState(state));
        ScannerSim& scanner =
            rig.PlugScanner(QStringList(options) << "--drop-after" << QString::number(cut));

        RecordingObserver first;
        const SessionEnd end = rig.Run(first);
        EXPECT_NE(end, SessionEnd::SoftwareError);
        EXPECT_EQ(scanner.Control("replug").substr(0, 2), "ok");
        std::set<std::string> uploaded;
        scenario.CollectUploads(rig, uploaded);
        ASSERT_TRUE(rig.Service().SetState(laterState));
        RecordingObserver clean;
        ASSERT_EQ(rig.Run(clean), SessionEnd::Orderly)
            << (clean.messages.empty() ? "" : clean.messages[0]);

        EXPECT_EQ(ScannerChips(scanner), Sorted(laterList));
        scenario.CollectUploads(rig, uploaded);
        EXPECT_EQ(uploaded.size(), scanned.size());
    }
}

// `tallybird-cli sync` killed (SIGKILL: no failure path runs) at random
// moments of a session that changes the list; then the service's list moves
// on and a clean session runs. The scanner then holds exactly the service's
// list, and every scanned chip reached the service.
TEST(SessionFailureTest, KilledAnywhereThenRepairedByTheNextSession) {
    const MovingListScenario scenario;
    SessionRig rig(Json(scenario.State()));
    const QStringList options = scenario.Scanner(rig) << "--latency"
                                                      << "1";
    auto sync = [&](QProcess& process) {
        StartCli(process, rig.ConfigHome(),
                 {"sync", QString::fromStdString(rig.Scanner().Link().string())});
        return process.waitForStarted();
    };

    // How long a whole session takes, to spread the kills over it; its last
    // two seconds are the wait before the scanner sleeps, when the list and
    // its copy are already safe.
    rig.PlugScanner(options);
    std::chrono::milliseconds whole{};
    {
        const auto start = std::chrono::steady_clock::now();
        QProcess reference;
        ASSERT_TRUE(sync(reference));
        ASSERT_TRUE(reference.waitForFinished(60'000));
        ASSERT_EQ(reference.exitCode(), 0) << reference.readAllStandardError().toStdString();
        whole = std::chrono::duration_cast<std::chrono::milliseconds>(
                    std::chrono::steady_clock::now() - start) -
                std::chrono::seconds(2);
    }

    std::mt19937 random(20261210);
    for (int round = 0; round < 16; ++round) {
        std::filesystem::remove_all(rig.dataFolder());
        std::filesystem::create_directories(rig.dataFolder());
        ClearReset(rig.state, rig.settings());
        ASSERT_TRUE(rig.Service().SetState(scenario.State()));
        ScannerSim& scanner = rig.PlugScanner(options);
        const auto killAt = std::chrono::milliseconds(
            std::uniform_int_distribution<long>(0, whole.count())(random));
        SCOPED_TRACE("killed after " + std::to_string(killAt.count()) + " ms of " +
                     std::to_string(whole.count()));

        QProcess killed;
        ASSERT_TRUE(sync(killed));
        std::this_thread::sleep_for(killAt);
        killed.kill();
        killed.waitForFinished();
        std::set<std::string> uploaded;
        scenario.CollectUploads(rig, uploaded);
        // Let a reply still under way drain before the next session.
        std::this_thread::sleep_for(std::chrono::milliseconds(100));

        // The repair runs in this process, which skips the reset's wait.
        ASSERT_TRUE(rig.Service().SetState(scenario.LaterState()));
        rig.Restart();
        RecordingObserver clean;
        SessionEnd end = rig.Run(clean);
        if (end == SessionEnd::Failure) {
            // On a loaded machine a reply cut off by the kill can still be
            // under way and spoil one command of the repair; its failure
            // path leaves a marker, and the session after it must repair
            // all the same.
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            rig.Restart();
            RecordingObserver again;
            end = rig.Run(again);
        }
        ASSERT_EQ(end, SessionEnd::Orderly) << (clean.messages.empty() ? "" : clean.messages[0]);
        EXPECT_EQ(ScannerChips(scanner), Sorted(scenario.laterList));
        scenario.CollectUploads(rig, uploaded);
        EXPECT_EQ(uploaded.size(), scenario.scanned.size());
        // A kill while a file was being saved leaves its temporary file; the
        // next session of this scanner removes it.
        for (const auto& entry : std::filesystem::directory_iterator(rig.dataFolder())) {
            EXPECT_NE(entry.path().filename().string().front(), '.') << entry.path();
        }
    }
}

// Several sessions with random changes from the service: after each, the
// scanner's list memory holds exactly the service's list.
TEST(SessionFailureTest, RandomChangesOverSeveralSessions) {
    std::mt19937 random(1210);
    std::vector<double> list;
    for (int k = 0; k < 1500; ++k) {
        list.push_back(985000000300000.0 + k);
    }
    double time = kStamp;
    QJsonArray log;
    SessionRig rig(Json(ServiceState(list, log, time + 1)));
    QStringList options = ListMemory(rig, list);
    options << "--time-stamp" << QString::number(static_cast<qint64>(kStamp));
    ScannerSim& scanner = rig.PlugScanner(options);
    double next = 826000000400000.0;
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        time += 100;
        // Clear a run of neighbours now and then, so whole sectors are refilled.
        std::shuffle(list.begin(), list.end(), random);
        const int removals =
            std::uniform_int_distribution<int>(0, round % 2 == 0 ? 700 : 50)(random);
        std::sort(list.begin(), list.begin() + removals);
        for (int i = 0; i < removals && !list.empty(); ++i) {
            log.append(Change(time - 50, 102, list.back()));
            list.pop_back();
        }
        const int additions = std::uniform_int_distribution<int>(0, 400)(random);
        for (int i = 0; i < additions; ++i) {
            log.append(Change(time - 40, 1, next, i % 256));
            list.push_back(next++);
        }
        ASSERT_TRUE(rig.Service().SetState(ServiceState(list, log, time)));
        scanner.Control("scan 826000000000777");
        RecordingObserver observer;
        ASSERT_EQ(rig.Run(observer), SessionEnd::Orderly)
            << (observer.messages.empty() ? "" : observer.messages[0]);
        EXPECT_EQ(ScannerChips(scanner), Sorted(list));
    }
}

} // namespace
} // namespace tallybird::test
