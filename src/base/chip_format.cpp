#include "base/chip_format.h"

#include "base/chip_number.h"

#include <algorithm>
#include <cstdio>

namespace tallybird {
namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

int HexValue(char c) {
    if (IsDigit(c)) {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

bool AllDigits(std::string_view text) {
    return !text.empty() && std::ranges::all_of(text, IsDigit);
}

bool AllHex(std::string_view text) {
    return !text.empty() && std::ranges::all_of(text, [](char c) { return HexValue(c) >= 0; });
}

std::uint64_t ReadDecimal(std::string_view digits) {
    std::uint64_t value = 0;
    for (const char c : digits) {
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return value;
}

std::uint64_t ReadHex(std::string_view digits) {
    std::uint64_t value = 0;
    for (const char c : digits) {
        value = (value << 4) | static_cast<unsigned>(HexValue(c));
    }
    return value;
}

std::optional<ChipCode> Checked(std::uint64_t country, std::uint64_t national) {
    if (country > 1023 || national > kMaxNationalNumber) {
        return std::nullopt;
    }
    return ChipCode{static_cast<unsigned>(country), national};
}

// The code before the last twelve digits, the national number after them.
std::optional<ChipCode> FromDecimal(std::string_view code, std::string_view national) {
    if (!AllDigits(code) || code.size() > 4 || national.size() != 12 || !AllDigits(national)) {
        return std::nullopt;
    }
    return Checked(ReadDecimal(code), ReadDecimal(national));
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

} // namespace

std::int64_t ChipCode::Key() const {
    return static_cast<std::int64_t>(country) * 1000000000000LL +
           static_cast<std::int64_t>(national);
}

ChipKind ClassifyChipText(std::string_view text) {
    if (text.find('*') != std::string_view::npos) {
        return ChipKind::ThreeGroup;
    }
    if ((text.size() == 15 || text.size() == 16) && AllDigits(text)) {
        return ChipKind::Decimal;
    }
    if (text.size() == 10 && AllHex(text)) {
        return ChipKind::Hexadecimal;
    }
    return ChipKind::Other;
}

const char* ChipKindName(ChipKind kind) {
    switch (kind) {
    case ChipKind::Decimal:
        return "decimal";
    case ChipKind::Hexadecimal:
        return "hexadecimal";
    case ChipKind::ThreeGroup:
        return "three-group";
    case ChipKind::Other:
        break;
    }
    return "other";
}

std::optional<ChipCode> ChipCodeOfText(std::string_view text) {
    switch (ClassifyChipText(text)) {
    case ChipKind::Decimal:
        return FromDecimal(text.substr(0, text.size() - 12), text.substr(text.size() - 12));
    case ChipKind::Hexadecimal: {
        // Five bytes, most significant first: the top two bits of the first
        // are the code (the record's high code byte is not in the text).
        const std::uint64_t bits = ReadHex(text);
        return Checked(bits >> 38, bits & kMaxNationalNumber);
    }
    case ChipKind::ThreeGroup:
    case ChipKind::Other:
        break;
    }
    return std::nullopt;
}

std::string FormatChipCode(const ChipCode& code, ChipFormat format) {
    char text[40];
    const auto national = static_cast<unsigned long long>(code.national);
    switch (format) {
    case ChipFormat::Grouped:
        std::snprintf(text, sizeof text, "%03u %012llu", code.country, national);
        return text;
    case ChipFormat::DotHex:
        std::snprintf(text, sizeof text, "%03X.%010llX", code.country, national);
        return text;
    case ChipFormat::Digits:
        break;
    }
    std::snprintf(text, sizeof text, "%03u%012llu", code.country, national);
    return text;
}

std::string FormatChipText(std::string_view text, ChipFormat format) {
    if (const auto code = ChipCodeOfText(text)) {
        return FormatChipCode(*code, format);
    }
    return std::string(text);
}

std::optional<ChipCode> ParseChipQuery(std::string_view query) {
    const std::string_view text = Trimmed(query);
    if (const auto dot = text.find('.'); dot != std::string_view::npos) {
        const std::string_view code = text.substr(0, dot);
        const std::string_view national = text.substr(dot + 1);
        if (code.empty() || code.size() > 3 || !AllHex(code) || national.empty() ||
            national.size() > 10 || !AllHex(national)) {
            return std::nullopt;
        }
        return Checked(ReadHex(code), ReadHex(national));
    }
    if (const auto space = text.find(' '); space != std::string_view::npos) {
        return FromDecimal(text.substr(0, space), Trimmed(text.substr(space)));
    }
    if (text.size() == 10 && AllHex(text)) {
        return ChipCodeOfText(text);
    }
    if (text.size() >= 13 && text.size() <= 16 && AllDigits(text)) {
        return FromDecimal(text.substr(0, text.size() - 12), text.substr(text.size() - 12));
    }
    return std::nullopt;
}

ChipFormat ChipFormatFromName(std::string_view name) {
    if (name == "Grouped") {
        return ChipFormat::Grouped;
    }
    if (name == "DotHex") {
        return ChipFormat::DotHex;
    }
    return ChipFormat::Digits;
}

const char* ChipFormatName(ChipFormat format) {
    switch (format) {
    case ChipFormat::Grouped:
        return "Grouped";
    case ChipFormat::DotHex:
        return "DotHex";
    case ChipFormat::Digits:
        break;
    }
    return "Digits";
}

bool ShownInChipList(std::string_view text) {
    if (text.find('*') != std::string_view::npos) {
        return text.size() == 11;
    }
    return text.size() == 10 || (text.size() == 15 && AllDigits(text));
}

} // namespace tallybird
