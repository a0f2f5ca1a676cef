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
            // The scan log holds the chip's bytes least significant first.
            const std::uint8_t msbFirst[6] = {b[5], b[4], b[3], b[2], b[1], b[0]};
            const RecordChip code = DecodeRecordChip(msbFirst);
            const ChipNumber chip = ChipNumberText(code.country, code.national);
            log.values[count] = chip.value;
            ++count;
            text = code.highByte != 0 ? chip.text : HexText(b);
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
    // Five bytes most significant first, the code's high byte left out.
    std::uint8_t p[6] = {0, 0, 0, 0, 0, 0};
    for (std::size_t k = 0; k < 5; ++k) {
        const auto high = HexDigitValue(text[2 * k]);
        const auto low = HexDigitValue(text[2 * k + 1]);
        if (!high || !low) {
            return std::nullopt;
        }
        p[k + 1] = static_cast<std::uint8_t>(*high * 16 + *low);
    }
    const RecordChip chip = DecodeRecordChip(p);
    return ChipNumberValue(chip.country, chip.national);
}

} // namespace tallybird
