#include "sim_codecs.h"

#include <array>
#include <charconv>
#include <cmath>
#include <limits>

namespace tallybird::sim {
namespace {

// The characters of bytes 0x80..0x9F; the rest of the code page is Latin-1.
constexpr std::array<char32_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t CharacterOf(std::uint8_t byte) {
    return byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80] : char32_t{byte};
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

std::uint8_t ByteOf(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
        return static_cast<std::uint8_t>(c);
    }
    for (std::size_t i = 0; i < kHighControls.size(); ++i) {
        if (kHighControls[i] == c) {
            return static_cast<std::uint8_t>(0x80 + i);
        }
    }
    return '?';
}

// The character of the UTF-8 sequence at `pos`, which moves past it; nothing
// for a malformed sequence (then `pos` moves one byte on).
std::optional<char32_t> NextCharacter(std::string_view utf8, std::size_t& pos) {
    const auto lead = static_cast<std::uint8_t>(utf8[pos++]);
    if (lead < 0x80) {
        return lead;
    }
    std::size_t more = 0;
    char32_t c = 0;
    char32_t least = 0;
    if ((lead & 0xE0) == 0xC0) {
        more = 1, c = lead & 0x1Fu, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        more = 2, c = lead & 0x0Fu, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        more = 3, c = lead & 0x07u, least = 0x10000;
    } else {
        return std::nullopt;
    }
    std::size_t at = pos;
    for (std::size_t k = 0; k < more; ++k, ++at) {
        if (at >= utf8.size() || (static_cast<std::uint8_t>(utf8[at]) & 0xC0) != 0x80) {
            return std::nullopt;
        }
        c = (c << 6) | (static_cast<std::uint8_t>(utf8[at]) & 0x3Fu);
    }
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        return std::nullopt;
    }
    pos = at;
    return c;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

struct NumberScan {
    double value = 0;
    bool digits = false;
    bool whole = false; // nothing followed the number
};

NumberScan ScanNumber(std::string_view text) {
    std::string s; // the text without blanks
    for (const char c : text) {
        if (c != ' ' && c != '\t' && c != '\n') {
            s.push_back(c);
        }
    }
    const auto digitsFrom = [&s](std::size_t at) {
        while (at < s.size() && IsDigit(s[at])) {
            ++at;
        }
        return at;
    };
    const std::size_t start = !s.empty() && (s[0] == '+' || s[0] == '-') ? 1 : 0;
    const std::size_t wholeEnd = digitsFrom(start);
    std::size_t end = wholeEnd;
    if (end < s.size() && s[end] == '.') {
        end = digitsFrom(end + 1);
    }
    if (wholeEnd == start && end <= wholeEnd + 1) {
        return {}; // no digit before or after the point
    }
    bool tinyIfOutOfRange = false;
    if (end < s.size() && std::string_view("eEdD").find(s[end]) != std::string_view::npos) {
        std::size_t at = end + 1;
        const bool signed_ = at < s.size() && (s[at] == '+' || s[at] == '-');
        tinyIfOutOfRange = signed_ && s[at] == '-';
        at += signed_ ? 1 : 0;
        if (digitsFrom(at) > at) {
            end = digitsFrom(at);
        } else {
            tinyIfOutOfRange = false;
        }
    }
    // from_chars takes neither a plus sign nor "D" for the exponent.
    const std::size_t from = s[0] == '+' ? 1 : 0;
    std::string number = s.substr(from, end - from);
    for (char& c : number) {
        if (c == 'd' || c == 'D') {
            c = 'e';
        }
    }
    double value = 0;
    const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        value = tinyIfOutOfRange ? 0.0 : std::numeric_limits<double>::infinity();
        value = number[0] == '-' ? -value : value;
    }
    return {value, true, end == s.size()};
}

} // namespace

std::string ChipText(unsigned country, std::uint64_t national) {
    std::string code = std::to_string(country);
    std::string number = std::to_string(national);
    if (code.size() < 3) {
        code.insert(0, 3 - code.size(), '0');
    }
    if (number.size() < 12) {
        number.insert(0, 12 - number.size(), '0');
    }
    return code + number;
}

double NumberIn(std::string_view text) {
    return ScanNumber(text).value;
}

std::optional<double> WholeNumberIn(std::string_view text) {
    const NumberScan scan = ScanNumber(text);
    return scan.digits && scan.whole ? std::optional<double>(scan.value) : std::nullopt;
}

std::string NumberText(double value) {
    std::array<char, 400> text{};
    std::to_chars_result result{};
    if (std::trunc(value) == value && std::fabs(value) < 9e18) {
        result =
            std::to_chars(text.data(), text.data() + text.size(), static_cast<long long>(value));
    } else {
        result =
            std::to_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    }
    return std::string(text.data(), result.ptr);
}

std::string Utf8FromWindows1252(ByteView bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const std::uint8_t b : bytes) {
        AppendUtf8(out, CharacterOf(b));
    }
    return out;
}

Bytes Windows1252FromUtf8(std::string_view utf8) {
    Bytes out;
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const std::optional<char32_t> c = NextCharacter(utf8, pos);
        out.push_back(c ? ByteOf(*c) : static_cast<std::uint8_t>('?'));
    }
    return out;
}

Bytes QueryValueBytes(std::string_view encoded) {
    Bytes out;
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        const char c = encoded[i];
        if (c == '+') {
            out.push_back(' ');
        } else if (c == '%' && i + 2 < encoded.size()) {
            const int high = HexDigit(encoded[i + 1]);
            const int low = HexDigit(encoded[i + 2]);
            if (high < 0 || low < 0) {
                return {};
            }
            out.push_back(static_cast<std::uint8_t>(high * 16 + low));
            i += 2;
        } else {
            out.push_back(static_cast<std::uint8_t>(c));
        }
    }
    return out;
}

std::string QueryValueOf(std::string_view utf8) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const std::uint8_t b : Windows1252FromUtf8(utf8)) {
        const char c = static_cast<char>(b);
        if (c == ' ') {
            out.push_back('+');
        } else if (IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
            out.push_back(c);
        } else {
            out.push_back('%');
            out.push_back(kHex[b >> 4]);
            out.push_back(kHex[b & 0x0F]);
        }
    }
    return out;
}

std::optional<std::string> PlainVersionOf(std::string_view reply) {
    while (!reply.empty() && IsSpace(reply.front())) {
        reply.remove_prefix(1);
    }
    while (!reply.empty() && IsSpace(reply.back())) {
        reply.remove_suffix(1);
    }
    if (reply.empty() || reply.front() == '.' || reply.back() == '.' ||
        reply.find("..") != std::string_view::npos) {
        return std::nullopt;
    }
    for (const char c : reply) {
        if (!IsDigit(c) && c != '.') {
            return std::nullopt;
        }
    }
    return std::string(reply);
}

} // namespace tallybird::sim
