#include "cli/history_command.h"

#include "cli/program.h"
#include "runtime/history_export.h"
#include "runtime/history_store.h"

#include <filesystem>
#include <ostream>
#include <system_error>

namespace tallybird::cli {
namespace {

constexpr const char* kUsage =
    "tallybird-cli: usage: history [--since YYYY-MM-DD] [--until YYYY-MM-DD] [--csv FILE] "
    "[--xlsx FILE]\n";

} // namespace

int RunHistory(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    HistoryFilter filter;
    std::string csv;
    std::string xlsx;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& option = args[i];
        if (i + 1 >= args.size()) {
            err << kUsage;
            return kUsageError;
        }
        const std::string& value = args[++i];
        if (option == "--since" || option == "--until") {
            const auto start = LocalDayStart(value);
            if (!start) {
                err << "tallybird-cli: not a date (YYYY-MM-DD): " << value << '\n' << kUsage;
                return kUsageError;
            }
            if (option == "--since") {
                filter.since = *start;
            } else {
                filter.until = LocalDayStart(value, 1); // the whole day
            }
        } else if (option == "--csv" && !value.empty()) {
            csv = value;
        } else if (option == "--xlsx" && !value.empty()) {
            xlsx = value;
        } else {
            err << kUsage;
            return kUsageError;
        }
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
