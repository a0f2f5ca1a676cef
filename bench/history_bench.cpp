// The chip history at its largest: SESSIONS sessions of READS chips each
// (default 1,000 x 3,100: 3.1 million reads) kept one by one as the session
// end keeps them (open, one transaction, close), then searched as the
// History window and `tallybird-cli history` search. Prints the time per
// session (first, median, slowest, the last hundred), search times and the
// file's size.
//   bench_history [SESSIONS [READS [FOLDER]]]
#include "runtime/history_store.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using tallybird::HistoryFilter;
using tallybird::HistoryStore;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::string Chip(std::mt19937_64& random) {
    // Mostly decimal chips of a few codes, some hexadecimal and three-group
    // records, as a busy scanner collects them.
    const unsigned kind = static_cast<unsigned>(random() % 100);
    char text[32];
    if (kind < 3) {
        std::snprintf(text, sizeof text, "%010llX",
                      static_cast<unsigned long long>(random() & 0xFFFFFFFFFFULL));
    } else if (kind < 5) {
        std::snprintf(text, sizeof text, "%03u*%03u*%03u", static_cast<unsigned>(random() % 256),
                      static_cast<unsigned>(random() % 1000),
                      static_cast<unsigned>(random() % 1000));
    } else {
        static const unsigned codes[] = {985, 985, 985, 826, 528, 276, 941};
        std::snprintf(text, sizeof text, "%03u%012llu", codes[random() % 7],
                      static_cast<unsigned long long>(random() % 274877906944ULL));
    }
    return text;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int sessions = argc > 1 ? std::stoi(argv[1]) : 1000;
    const int readsPerSession = argc > 2 ? std::stoi(argv[2]) : 3100;
    const std::filesystem::path folder =
        argc > 3 ? std::filesystem::path(argv[3])
                 : std::filesystem::temp_directory_path() / "tallybird-history-bench";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const auto file = tallybird::HistoryFile(folder);

    std::mt19937_64 random(20261210);
    std::vector<std::string> sample; // chips to search for afterwards
    std::vector<double> writes;
    const auto total = Clock::now();
    for (int s = 0; s < sessions; ++s) {
        tallybird::SessionRecord session;
        session.started = 1765350000 + s * 3600;
        session.ended = session.started + 120;
        session.scanner = std::to_string(126590 + s % 3);
        session.version = "W2";
        session.end = "orderly end";
        session.reads.reserve(static_cast<std::size_t>(readsPerSession));
        for (int r = 0; r < readsPerSession; ++r) {
            session.reads.push_back({Chip(random), true, random() % 50 == 0});
        }
        if (s % (std::max(sessions / 20, 1)) == 0) {
            sample.push_back(
                session.reads[static_cast<std::size_t>(s) % session.reads.size()].text);
        }
        const auto start = Clock::now();
        bool told = false;
        tallybird::KeepInHistory(file, session, [&told](const std::string&) { told = true; });
        writes.push_back(MsSince(start));
        if (told) {
            std::fprintf(stderr, "the history was moved aside during the benchmark\n");
            return 1;
        }
    }
    const double totalSeconds = MsSince(total) / 1000.0;
    const std::vector<double> last(writes.end() - std::min<std::ptrdiff_t>(100, std::ssize(writes)),
                                   writes.end());
    std::printf("sessions kept          %d x %d reads (%.1f million rows) in %.1f s\n", sessions,
                readsPerSession, sessions * static_cast<double>(readsPerSession) / 1e6,
                totalSeconds);
    std::printf("write per session      first %.1f ms, median %.1f ms, slowest %.1f ms, "
                "median of the last 100 %.1f ms\n",
                writes.front(), Median(writes), *std::max_element(writes.begin(), writes.end()),
                Median(last));

    HistoryStore store(file);
    auto start = Clock::now();
    const auto all = store.Sessions({});
    std::printf("open + list sessions   %.1f ms (%zu sessions)\n", MsSince(start), all.size());

    const auto searchMs = [&store](const HistoryFilter& filter, std::size_t& found) {
        const auto begin = Clock::now();
        found = store.Reads(filter).size();
        return MsSince(begin);
    };
    std::vector<double> exact;
    std::vector<double> dotHex;
    std::size_t found = 0;
    std::size_t foundTotal = 0;
    for (const std::string& chip : sample) {
        HistoryFilter filter;
        filter.search = chip;
        exact.push_back(searchMs(filter, found));
        foundTotal += found;
        if (const auto code = tallybird::ParseChipQuery(chip)) {
            filter.search = tallybird::FormatChipCode(*code, tallybird::ChipFormat::DotHex);
            dotHex.push_back(searchMs(filter, found));
        }
    }
    std::printf("search, whole chip     median %.2f ms as typed, %.2f ms as dot-hex "
                "(%zu searches, %zu reads found)\n",
                Median(exact), dotHex.empty() ? 0.0 : Median(dotHex), sample.size(), foundTotal);
    HistoryFilter part;
    part.search = "*123*";
    const double partMs = searchMs(part, found);
    std::printf("search, part of a text %.0f ms (\"%s\", %zu reads found)\n", partMs,
                part.search.c_str(), found);
    HistoryFilter one;
    one.session = all.empty() ? 0 : all.front().id;
    const double oneMs = searchMs(one, found);
    std::printf("one session's reads    %.1f ms (%zu reads)\n", oneMs, found);
    HistoryFilter missing;
    missing.missingOnly = true;
    missing.since = 1765350000 + static_cast<std::int64_t>(sessions - 30) * 3600;
    const double missingMs = searchMs(missing, found);
    std::printf("missing only, last 30  %.1f ms (%zu reads in the last 30 sessions)\n", missingMs,
                found);

    const auto bytes = static_cast<double>(std::filesystem::file_size(file));
    std::error_code ec;
    const auto wal = std::filesystem::file_size(file.string() + "-wal", ec);
    std::printf("file size              %.1f MB (%.1f bytes a read)%s\n", bytes / 1e6,
                bytes / (sessions * static_cast<double>(readsPerSession)),
                ec ? "" : (", write-ahead log " + std::to_string(wal / 1000) + " kB").c_str());
    if (argc <= 3) {
        std::filesystem::remove_all(folder);
    }
    return 0;
}
