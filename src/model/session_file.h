#pragma once

#include "base/bytes.h"
#include "model/lost_list.h"
#include "model/organisation_table.h"
#include "model/scanner_memory.h"

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tallybird {

// The program's copy of one scanner's list, stamped with the scanner's time
// stamp, so the long "UP" read is needed only when the scanner changed.
struct SessionFileData {
    double timeStamp = 0;
    LostList list;
    std::array<double, kScannedValueCells> scannedValues{};
    OrganisationTable organisations;

    bool operator==(const SessionFileData&) const = default;
};

// Byte size of everything before the organisation texts.
inline constexpr std::size_t kSessionFileFixedSize =
    8 + 8 * kListSlots + 2 * kListSlots + 8 * kScannedValueCells + 4;

// "TBM" + the wire serial as eight digits + ".tbf" / ".err".
std::string SessionFileName(std::int64_t scannerSerial);
std::string ErrorMarkerFileName(std::int64_t scannerSerial);
// "TBM" + serial + ".reg": present while the service has not yet accepted
// the registration of this scanner, so the next session sends it again.
std::string RegistrationDueFileName(std::int64_t scannerSerial);

// Little-endian, no header: the stamp, 250,001 values, 250,001 attributes,
// 3,101 scanned values, the slot count, then 257 organisation texts, each a
// 16-bit length and its bytes.
Bytes EncodeSessionFile(const SessionFileData& data);

// Nothing when the size does not match the layout: such a file is treated as
// absent and rebuilt from the scanner.
std::optional<SessionFileData> DecodeSessionFile(ByteView bytes);

} // namespace tallybird
