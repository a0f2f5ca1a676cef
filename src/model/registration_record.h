#pragma once

#include "base/bytes.h"

#include <cstdint>
#include <filesystem>
#include <string>

namespace tallybird {

inline constexpr const char* kRegistrationFileName = "TBLREG.tbf";

// What the owner entered in the registration wizard. Texts are UTF-8 here and
// Windows-1252 in the file.
struct RegistrationRecord {
    std::string ownerName;
    std::string addressLine1;
    std::string emailAddress;
    std::string city;
    std::string county;
    std::int16_t countryNumber = 0; // 0: none chosen yet
    std::string postCode;
    std::string phoneNumber;

    bool operator==(const RegistrationRecord&) const = default;
};

// The file layout, little-endian, no header, fields in the order above: each
// text as a 16-bit length and its bytes, the country as a 16-bit signed
// integer. A name of 3 characters and nothing else takes 19 bytes.
Bytes EncodeRegistrationRecord(const RegistrationRecord& record);

// Reads field by field; fields the bytes end before stay empty or 0.
RegistrationRecord DecodeRegistrationRecord(ByteView bytes);

// A missing or unreadable file reads as the empty record.
RegistrationRecord ReadRegistrationRecord(const std::filesystem::path& dataFolder);

// Replaces the file whole (temporary file and rename). False on failure.
bool WriteRegistrationRecord(const std::filesystem::path& dataFolder,
                             const RegistrationRecord& record);

// The defaults the program shows for a record that was never completed:
// "Not Registered", post code "AA0 0AA", country 1.
void ApplyRegistrationDefaults(RegistrationRecord& record);

} // namespace tallybird
