// A full first session against the simulated scanner: a list of 250,001
// numbers to read back and 10,000 changes from the service (5,000
// neighbouring numbers removed, 5,000 new ones). Prints wall time, CPU time
// and peak memory of the session, and the scanner commands sent against the
// commands the change set needs. Not a test.
//
//   bench_session                     the scanner as fast as the pty goes
//   bench_session --byte-rate 11520   the line of a real scanner (115,200
//                                     baud) each way: the session's wall time
//                                     against the least time the bytes it
//                                     moved need on that line
#include "model/list_record.h"
#include "model/lost_list.h"
#include "process_usage.h"
#include "session/list_merge.h"
#include "support/session_rig.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using namespace tallybird;

constexpr double kStamp = 1765000000;
constexpr int kListSize = 250001;
constexpr int kFirstRemoved = 100000;
constexpr int kChanges = 5000;

double ListChip(int k) {
    return 985100000000000.0 + k;
}

std::string ChipText(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%015.0f", value);
    return text;
}

int WritesFor(std::int32_t slot) {
    return static_cast<int>(ListRecordWrites(slot, ListRecord{}).size());
}

// The commands this change set needs: identification, read-out, time stamp,
// read-back, one write per record (two across a page boundary), one erase
// per refilled sector, the organisation area, the time stamp, clearing the
// scan log, sleep.
int NeededCommands(int organisationEntries) {
    LostList list;
    for (int k = 0; k < kListSize; ++k) {
        list.values[static_cast<std::size_t>(k)] = ListChip(k);
    }
    list.count = kListSize;
    ListChanges changes;
    for (int i = 0; i < kChanges; ++i) {
        changes.removed.push_back(ListChip(kFirstRemoved + i));
        changes.added.push_back(826000000000000.0 + i);
        changes.addedAttributes.push_back(0);
    }
    ListMerger merger(list, changes);
    const ClearingPlan clearing = merger.MergeRemovals();
    const RefillPlan refill = merger.MergeAdditions(ScannerGeometry{31, 511});
    int commands = 3 + 1 + 1 + 1 + 1; // SN VR VY, SC, TN, UP, DL
    for (const auto slot : clearing.clearedSlots) {
        commands += WritesFor(slot);
    }
    commands += static_cast<int>(refill.erasedSectors.size());
    for (const auto slot : refill.rewrittenSlots) {
        commands += WritesFor(slot);
    }
    for (const auto& appended : refill.appended) {
        commands += WritesFor(appended.slot);
    }
    commands += 1 + 2 + 5 * organisationEntries; // first differing RD, two erases, writes
    commands += 1 + 1 + 4 + 1 + 1;               // TW, CC, four scan-log erases, EF, LP
    std::printf("change set: %zu cleared, %zu sectors erased, %zu slots rewritten, %zu appended, "
                "%d not appended\n",
                clearing.clearedSlots.size(), refill.erasedSectors.size(),
                refill.rewrittenSlots.size(), refill.appended.size(), refill.notAppended);
    return commands;
}

// "ok in=M out=N" of the simulator: the bytes both ways.
std::uint64_t LinkBytes(const std::string& answer) {
    std::uint64_t in = 0;
    std::uint64_t out = 0;
    if (std::sscanf(answer.c_str(), "ok in=%lu out=%lu", &in, &out) != 2) {
        return 0;
    }
    return in + out;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    long byteRate = 0;
    if (argc == 3 && std::string(argv[1]) == "--byte-rate") {
        byteRate = std::strtol(argv[2], nullptr, 10);
    }
    if (argc != 1 && byteRate <= 0) {
        std::fprintf(stderr, "usage: bench_session [--byte-rate BYTES_PER_SECOND]\n");
        return 64;
    }
    QJsonArray log;
    for (int i = 0; i < kChanges; ++i) {
        log.append(
            QJsonObject{{"time", kStamp + 10},
                        {"operation", 102},
                        {"chip", QString::fromStdString(ChipText(ListChip(kFirstRemoved + i)))},
                        {"attribute", 0}});
        log.append(QJsonObject{{"time", kStamp + 10},
                               {"operation", 1},
                               {"chip", QString::fromStdString(ChipText(826000000000000.0 + i))},
                               {"attribute", 0}});
    }
    const QJsonObject country{{"lost", QJsonArray{}},
                              {"log", log},
                              {"logStart", kStamp},
                              {"organisations", QJsonArray{"Vets North", "01632 960001"}}};
    const QJsonObject state{{"time", kStamp + 100}, {"countries", QJsonObject{{"1", country}}}};
    test::SessionRig rig(QJsonDocument(state).toJson(QJsonDocument::Compact).toStdString());
    QStringList options{"--list-count", QString::number(kListSize),
                        "--time-stamp", QString::number(static_cast<qint64>(kStamp)),
                        "--scan",       "826000000000777"};
    if (byteRate > 0) {
        options << "--byte-rate" << QString::number(byteRate);
    }
    test::ScannerSim& scanner = rig.PlugScanner(options);

    test::RecordingObserver observer;
    const double cpuBefore = tallybird::bench::CpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    const SessionEnd end = rig.Run(observer);
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu = tallybird::bench::CpuSeconds() - cpuBefore;

    const auto sent = test::WireLines(scanner.WireLog()).size();
    const int needed = NeededCommands(2); // the default entry and one organisation
    std::printf("session end: %s\n", end == SessionEnd::Orderly ? "orderly" : "NOT orderly");
    std::printf("wall time: %.2f s (the session's deliberate 3 s of waits skipped)\n", wall);
    std::printf("CPU time of the program: %.2f s\n", cpu);
    std::printf("peak memory of the program: %.1f MiB\n",
                static_cast<double>(tallybird::bench::PeakRssKb()) / 1024);
    std::printf("scanner commands: %zu sent, %d needed by the change set\n", sent, needed);
    if (byteRate > 0) {
        // The least time: every byte both ways, one after the other (each
        // reply waits for its command), at the line's rate; the session's
        // own waits are skipped here as in the run itself.
        const std::uint64_t bytes = LinkBytes(scanner.Control("bytes"));
        const double least = static_cast<double>(bytes) / static_cast<double>(byteRate);
        std::printf("line: %ld bytes/s each way; %llu bytes moved both ways\n", byteRate,
                    static_cast<unsigned long long>(bytes));
        std::printf("wire-time minimum: %.2f s; wall time / minimum: %.3f\n", least,
                    least > 0 ? wall / least : 0.0);
    }
    return end == SessionEnd::Orderly && static_cast<int>(sent) == needed ? 0 : 1;
}
