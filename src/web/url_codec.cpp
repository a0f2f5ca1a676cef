#include "web/url_codec.h"

#include "base/leading_number.h"
#include "base/single_byte_text.h"

#include <array>
#include <optional>

namespace tallybird {
namespace {

// Built on first use and kept for the run: which byte values pass unescaped.
const std::array<bool, 256>& UnescapedBytes() {
    static const std::array<bool, 256> table = [] {
        std::array<bool, 256> t{};
        for (int c = 0; c < 256; ++c) {
            t[static_cast<std::size_t>(c)] =
                (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        }
        return t;
    }();
    return table;
}

} // namespace

void AppendPercentEscape(std::string& out, std::uint8_t byte) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    out.push_back('%');
    out.push_back(kHex[byte >> 4]);
    out.push_back(kHex[byte & 0x0F]);
}

std::string UrlEncode(std::string_view text) {
    const auto& unescaped = UnescapedBytes();
    std::string out;
    for (const std::uint8_t byte : ToSingleByte(text)) {
        if (byte == ' ') {
            out.push_back('+');
        } else if (unescaped[byte]) {
            out.push_back(static_cast<char>(byte));
        } else {
            AppendPercentEscape(out, byte);
        }
    }
    return out;
}

Bytes UrlDecode(ByteView encoded) {
    Bytes out;
    out.reserve(encoded.size());
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        const std::uint8_t c = encoded[i];
        if (c == '+') {
            out.push_back(' ');
        } else if (c == '%' && i + 2 < encoded.size()) {
            const auto high = HexDigitValue(static_cast<char>(encoded[i + 1]));
            const auto low = HexDigitValue(static_cast<char>(encoded[i + 2]));
            if (!high || !low) {
                return {};
            }
            out.push_back(static_cast<std::uint8_t>(*high * 16 + *low));
            i += 2;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

} // namespace tallybird
