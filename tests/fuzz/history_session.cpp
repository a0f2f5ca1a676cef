// A session as the chip history keeps it: whatever texts a scanner and a
// failure gave it are stored, read back unchanged, shown in every chip
// format and written as CSV. The input is lines: the scanner, its version,
// the end, the step, the reason, then one read a line (its first byte's two
// low bits: uploaded, missing).
#include "base/chip_format.h"
#include "base/single_byte_text.h"
#include "fuzz_check.h"
#include "runtime/history_export.h"
#include "runtime/history_store.h"

#include <QCoreApplication>

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace {

std::filesystem::path Folder() {
    static const std::filesystem::path folder = [] {
        auto path = std::filesystem::temp_directory_path() /
                    ("tallybird-fuzz-history-" + std::to_string(::getpid()));
        std::filesystem::create_directories(path);
        return path;
    }();
    return folder;
}

// The input's lines, as bytes.
std::vector<std::string_view> Lines(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string_view> lines;
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    while (!rest.empty() && lines.size() < 64) {
        const std::size_t end = std::min(rest.find('\n'), rest.size());
        lines.push_back(rest.substr(0, end));
        rest.remove_prefix(std::min(end + 1, rest.size()));
    }
    return lines;
}

// Texts reach the history as the session decoded them from single bytes.
std::string Text(std::string_view bytes) {
    return tallybird::FromSingleByte(
        tallybird::ByteView(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

void CheckFormats(const std::string& text) {
    const auto code = tallybird::ChipCodeOfText(text);
    if (!code) {
        return;
    }
    for (const auto format : {tallybird::ChipFormat::Digits, tallybird::ChipFormat::Grouped,
                              tallybird::ChipFormat::DotHex}) {
        // Every format the history shows is one its search box finds.
        const auto found = tallybird::ParseChipQuery(tallybird::FormatChipCode(*code, format));
        FUZZ_CHECK(found && *found == *code);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv); // Qt SQL finds its driver through it
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static int runs = 0;
    const auto file = Folder() / "history.sqlite";
    if (++runs % 200 == 0) {
        std::filesystem::remove_all(Folder());
        std::filesystem::create_directories(Folder());
    }
    const std::vector<std::string_view> lines = Lines(data, size);
    tallybird::SessionRecord session;
    session.started = 1765350000;
    session.ended = 1765350060;
    std::string* fields[] = {&session.scanner, &session.version, &session.end, &session.step,
                             &session.reason};
    std::size_t next = 0;
    for (std::string* field : fields) {
        if (next < lines.size()) {
            *field = Text(lines[next++]);
        }
    }
    for (; next < lines.size(); ++next) {
        const std::string_view line = lines[next];
        const unsigned flags = line.empty() ? 0 : static_cast<unsigned char>(line[0]);
        session.reads.push_back(
            {Text(line.substr(line.empty() ? 0 : 1)), (flags & 1) != 0, (flags & 2) != 0});
    }

    std::vector<tallybird::StoredRead> reads;
    {
        tallybird::HistoryStore store(file);
        FUZZ_CHECK(store.Append(session));
        const auto sessions = store.Sessions({});
        FUZZ_CHECK(!sessions.empty());
        FUZZ_CHECK(sessions.front().record.reason == session.reason);
        tallybird::HistoryFilter filter;
        filter.session = sessions.front().id;
        reads = store.Reads(filter);
    }
    FUZZ_CHECK(reads.size() == session.reads.size());
    std::vector<std::vector<std::string>> rows{tallybird::HistoryHeader()};
    for (std::size_t i = 0; i < reads.size(); ++i) {
        FUZZ_CHECK(reads[i].text == session.reads[i].text);
        FUZZ_CHECK(reads[i].uploaded == session.reads[i].uploaded);
        FUZZ_CHECK(reads[i].missing == session.reads[i].missing);
        CheckFormats(reads[i].text);
        rows.push_back(tallybird::HistoryRow(reads[i], tallybird::ChipFormat::Grouped, {}));
        (void)tallybird::HistoryLine(reads[i]);
    }
    (void)tallybird::CsvText(rows);
    return 0;
}
