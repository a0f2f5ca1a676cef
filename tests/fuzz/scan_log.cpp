// The "SC" read-back of the scan log: any bytes the scanner sends.
#include "model/scan_log.h"
#include "fuzz_check.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto log = tallybird::ReadScanLog(tallybird::ByteView(data, size), 126590);
    if (log) {
        FUZZ_CHECK(log->texts.size() <= 3100);
        FUZZ_CHECK(log->scanList.starts_with("serial number=126590|"));
        for (const std::string& text : log->texts) {
            FUZZ_CHECK(!text.empty() && text.find('|') == std::string::npos);
            if (text.size() == 10) {
                (void)tallybird::HexChipTextValue(text);
            }
        }
    }
    return 0;
}
