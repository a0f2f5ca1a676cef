#include "cli/history_command.h"

#include "cli/program.h"
#include "runtime/history_export.h"
#include "runtime/history_store.h"

#include <filesystem>
#include <ostream>
#include <string_view>
#include <system_error>

namespace tallybird::cli {
namespace {

constexpr const char* kUsage =
    "tallybird-cli: usage: history [--since YYYY-MM-DD] [--until YYYY-MM-DD] [--csv FILE] "
    "[--xlsx FILE]\n";

} // namespace

int RunHistory(const CommandLine& line, std::ostream& out, std::ostream& err) {
    HistoryFilter filter;
    for (const char* option : {"since", "until"}) {
        const auto value = line.Value(option);
        if (!value) {
            continue;
        }
        const auto start = LocalDayStart(*value);
        if (!start) {
            err << "tallybird-cli: not a date (YYYY-MM-DD): " << *value << '\n' << kUsage;
            return kUsageError;
        }
        if (std::string_view(option) == "since") {
            filter.since = *start;
        } else {
            filter.until = LocalDayStart(*value, 1); // the whole day
        }
    }
    const std::string csv = line.Value("csv").value_or("");
    const std::string xlsx = line.Value("xlsx").value_or("");
    if ((line.Value("csv") && csv.empty()) || (line.Value("xlsx") && xlsx.empty())) {
        err << kUsage;
        return kUsageError;
    }
    Program program;
    const std::filesystem::path file = HistoryFile(program.state.dataFolder);
    HistoryStore store(file);
    std::error_code ec;
    // No history yet: nothing read, and nothing created.
    const std::vector<StoredRead> reads =
        std::filesystem::exists(file, ec) ? store.Reads(filter) : std::vector<StoredRead>{};
    if (!store.Error().empty()) {
        err << "tallybird-cli: the chip history cannot be read: " << store.Error() << '\n';
        return 1;
    }
    const ChipFormat format = ChipFormatFromName(program.settings.ChipFormat());
    int status = 0;
    std::string error;
    if (!csv.empty() && !WriteHistoryCsv(csv, reads, format, error)) {
        err << "tallybird-cli: " << error << '\n';
        status = 1;
    }
    if (!xlsx.empty() && !WriteHistoryXlsx(xlsx, reads, format, error)) {
        err << "tallybird-cli: " << error << '\n';
        status = 1;
    }
    if (csv.empty() && xlsx.empty()) {
        for (const StoredRead& read : reads) {
            out << HistoryLine(read) << '\n';
        }
    }
    return status;
}

} // namespace tallybird::cli
