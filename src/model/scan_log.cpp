#include "model/scan_log.h"

#include "base/chip_number.h"
#include "base/leading_number.h"

#include <cstdio>

namespace tallybird {
namespace {

constexpr int kScanRecordSize = 6;

std::string ThreeGroupText(const std::uint8_t* b) {
    char text[32];
    std::snprintf(text, sizeof text, "%03u*%03u*%03u", unsigned{b[4]}, b[3] * 256u + b[2],
                  b[1] * 256u + b[0]);
    return text;
}

std::string HexText(const std::uint8_t* b) {
    char text[16];
    std::snprintf(text, sizeof text, "%02X%02X%02X%02X%02X", b[4], b[3], b[2], b[1], b[0]);
    return text;
}

} // namespace

std::optional<ScanLog> ReadScanLog(ByteView reply, std::int64_t scannerSerial) {
    if (!HoldsWholeRecords(reply.size(), kScanRecordSize)) {
        return std::nullopt;
    }
    ScanLog log;
    log.scanList = "serial number=" + std::to_string(scannerSerial) + "|";
    std::size_t count = 0; // chips read so far
    for (std::size_t i = 0; i + 7 <= reply.size(); i += kScanRecordSize) {
        if (count >= kMaxScannedChips) {
            return std::nullopt;
        }
        const std::uint8_t* b = reply.data() + i;
        std::string text;
        if (b[5] == 0) {
            ++count;
            text = ThreeGroupText(b);
            log.values[count] = 0;
        } else {
            const unsigned c = b[5] == 255 ? 0u : b[5];
            const unsigned country = c * 4 + b[4] / 64;
            const std::uint64_t national =
                (std::uint64_t{b[4] % 64u} << 32) | (std::uint64_t{b[3]} << 24) |
                (std::uint64_t{b[2]} << 16) | (std::uint64_t{b[1]} << 8) | b[0];
            const ChipNumber chip = ChipNumberText(country, national);
            log.values[count] = chip.value;
            ++count;
            text = c != 0 ? chip.text : HexText(b);
        }
        log.scanList += text + "|";
        log.texts.push_back(std::move(text));
    }
    return log;
}

std::optional<double> HexChipTextValue(const std::string& text) {
    if (text.size() != 10) {
        return std::nullopt;
    }
    std::uint64_t p[5];
    for (std::size_t k = 0; k < 5; ++k) {
        const auto high = HexDigitValue(text[2 * k]);
        const auto low = HexDigitValue(text[2 * k + 1]);
        if (!high || !low) {
            return std::nullopt;
        }
        p[k] = static_cast<std::uint64_t>(*high) * 16 + static_cast<std::uint64_t>(*low);
    }
    const unsigned country = static_cast<unsigned>(p[0] / 64);
    const std::uint64_t national =
        ((p[0] % 64) << 32) | (p[1] << 24) | (p[2] << 16) | (p[3] << 8) | p[4];
    return ChipNumberValue(country, national);
}

} // namespace tallybird
