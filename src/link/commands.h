#pragma once

#include "base/bytes.h"
#include "link/transport.h"
#include "model/scanner_memory.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tallybird {

// The scanner's command set, one function per command. Arguments go
// in, the decoded reply comes out; a failed command is a value (an empty
// optional, or a CommandResult whose `failed` is set), never an exception.
// Replies returned as ByteView point into the transport's `ReplyBuffer` and
// stay valid until the next command.
//
//   "SN" ReadSerialNumber   "VR" ReadVersion      "VY" SendVersionCheck
//   "SC" ReadScanLog        "TN" ReadTimeStamp    "TW" WriteTimeStamp
//   "UP" ReadList           "DL" SendDL           "CC" SendCC
//   "SE" EraseSector        "WE" SendWE           "CE" SendCE
//   "RD" ReadMemory         "WR" WriteMemory      "EF" PutToSleep
//   "RO" SetKeyboardMode    "LP" SendLP           "PA" ReadIdentity
//   "CN" ReadCN (in the completion table; no step sends it)

// A memory address on the wire: three bytes, most significant first.
std::array<std::uint8_t, 3> AddressBytes(std::uint32_t address);
// A time stamp on the wire: four bytes, most significant first.
std::array<std::uint8_t, 4> TimeStampBytes(std::uint32_t seconds);
// The version text of a "VR" reply: V0 as a character, then V1 in decimal
// (72, 1 give "H1"; 87, 12 give "W12").
std::string VersionText(std::uint8_t v0, std::uint8_t v1);
// Start of scan-log sector `index` (0..3): FlashTopByte x 65536 + 40960 +
// index x 4096.
std::uint32_t ScanLogSectorAddress(int flashTopByte, int index);
// Organisation slot k (0..255): FlashTopByte x 65536 + 0xE000 + 32 k.
std::uint32_t OrganisationSlotAddress(int flashTopByte, int slot);

// "SN": the 24-bit wire serial S2 x 65536 + S1 x 256 + S0.
std::optional<std::uint32_t> ReadSerialNumber(Transport& link);
// "VR": the version text ("H1", "W2", "W12").
std::optional<std::string> ReadVersion(Transport& link);
// "VY" with one byte (the session sends 2 for every version but "H1").
CommandResult SendVersionCheck(Transport& link, std::uint8_t value = 2);
// "SC": the scan-log records of 6 bytes followed by the six bytes 255.
std::optional<ByteView> ReadScanLog(Transport& link);
// "TN": T3 x 16777216 + T2 x 65536 + T1 x 256 + T0.
std::optional<std::uint32_t> ReadTimeStamp(Transport& link);
// "TW" with the four time-stamp bytes.
CommandResult WriteTimeStamp(Transport& link, std::uint32_t seconds);
// "UP" (600-second limit): list records of 7 bytes, then six bytes 255.
std::optional<ByteView> ReadList(Transport& link);
// "DL": never reported as failed.
CommandResult SendDL(Transport& link);
// "CC": clears the scan log (before its four sectors are erased).
CommandResult SendCC(Transport& link);
// "SE" with the address bytes of the 4096-byte sector that holds `address`.
CommandResult EraseSector(Transport& link, std::uint32_t address);
// "WE" (reset).
CommandResult SendWE(Transport& link);
// "CE" (reset, 10-second limit).
CommandResult SendCE(Transport& link);
// "RD": the 32 bytes of memory from `address`.
std::optional<std::array<std::uint8_t, 32>> ReadMemory(Transport& link, std::uint32_t address);
// "WR": programs `data` at `address` (the session always sends 7 data bytes).
CommandResult WriteMemory(Transport& link, std::uint32_t address, ByteView data);
// "EF": puts the scanner to sleep; never reported as failed.
CommandResult PutToSleep(Transport& link);
// "RO" with one byte: 1 turns keyboard mode on.
CommandResult SetKeyboardMode(Transport& link, std::uint8_t mode = 1);
// "LP": complete on any data; the session does not check its result.
CommandResult SendLP(Transport& link);
// "PA" over the transport: complete at exactly 5 bytes; the reply as text.
std::optional<std::string> ReadIdentity(Transport& link);
// "CN": 3 bytes.
std::optional<std::array<std::uint8_t, 3>> ReadCN(Transport& link);

// Any command: code text and argument bytes.
CommandResult SendCode(Transport& link, std::string_view code, ByteView arguments = {});

} // namespace tallybird
