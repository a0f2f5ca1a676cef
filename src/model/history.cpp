#include "model/history.h"

#include "model/scan_log.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <unordered_set>

namespace tallybird {
namespace {

constexpr const char* kMissingMark = "Yes";
constexpr const char* kNoMark = "   ";
constexpr std::size_t kMaxRows = 4999;

std::string DateTimeText(const std::tm& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%02d/%02d/%02d %02d:%02d", t.tm_mday, t.tm_mon + 1,
                  t.tm_year % 100, t.tm_hour, t.tm_min);
    return text;
}

bool IsDecimal(const std::string& text) {
    return std::ranges::all_of(text, [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

std::tm LocalTimeNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

ChipHistory BuildChipHistory(const std::vector<std::string>& scannedTexts, const LostList& list,
                             const LocalClock& now) {
    const std::unordered_set<double> listed(list.values.begin(), list.values.begin() + list.count);
    ChipHistory history;
    for (const std::string& text : scannedTexts) {
        if (text.empty()) {
            break;
        }
        const bool threeGroups = text.find('*') != std::string::npos;
        std::optional<double> value;
        std::size_t rowGap = 0;
        std::size_t lineGap = 0;
        if (threeGroups) {
            if (text.size() != 11) {
                continue;
            }
            rowGap = 33;
            lineGap = 12;
        } else if (text.size() == 10) {
            value = HexChipTextValue(text);
            rowGap = 33;
            lineGap = 12;
        } else if (text.size() == 15 && IsDecimal(text)) {
            value = std::stod(text);
            rowGap = 7;
            lineGap = 4;
        } else {
            continue;
        }
        const char* mark = value && listed.contains(*value) ? kMissingMark : kNoMark;
        history.sessionLines +=
            text + std::string(lineGap, ' ') + DateTimeText(now()) + "    " + mark + "\r\n";
        if (history.rows.size() < kMaxRows) {
            history.rows.push_back(text + std::string(rowGap, ' ') + mark);
            history.rowChipNumbers.push_back(text);
        }
    }
    return history;
}

std::string LastUpdateText(double secondsSince1970) {
    using namespace std::chrono;
    const sys_seconds at{
        std::chrono::seconds(static_cast<long long>(std::floor(secondsSince1970)))};
    const sys_days day = floor<days>(at);
    const year_month_day date{day};
    const hh_mm_ss time{at - day};
    char text[40];
    std::snprintf(text, sizeof text, "%02u/%02u/%02d %02lld:%02lld:%02lld",
                  static_cast<unsigned>(date.day()), static_cast<unsigned>(date.month()),
                  ((static_cast<int>(date.year()) % 100) + 100) % 100,
                  static_cast<long long>(time.hours().count()),
                  static_cast<long long>(time.minutes().count()),
                  static_cast<long long>(time.seconds().count()));
    return text;
}

std::optional<std::uint32_t> ScannerStamp(double seconds) {
    if (!(seconds >= 0) || seconds >= 4294967296.0) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(seconds);
}

} // namespace tallybird
