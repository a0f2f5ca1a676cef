#include "model/registration_record.h"

#include "base/single_byte_text.h"
#include "platform/atomic_file.h"

#include <limits>

namespace tallybird {
namespace {

void AppendU16(Bytes& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void AppendText(Bytes& out, const std::string& text) {
    Bytes bytes = ToSingleByte(text);
    if (bytes.size() > std::numeric_limits<std::uint16_t>::max()) {
        bytes.resize(std::numeric_limits<std::uint16_t>::max());
    }
    AppendU16(out, static_cast<std::uint16_t>(bytes.size()));
    out.insert(out.end(), bytes.begin(), bytes.end());
}

class FieldReader {
public:
    explicit FieldReader(ByteView bytes) : bytes_(bytes) {}

    bool ReadU16(std::uint16_t& value) {
        if (bytes_.size() - pos_ < 2) {
            return false;
        }
        value = static_cast<std::uint16_t>(bytes_[pos_] | (bytes_[pos_ + 1] << 8));
        pos_ += 2;
        return true;
    }

    bool ReadText(std::string& text) {
        std::uint16_t length = 0;
        if (!ReadU16(length) || bytes_.size() - pos_ < length) {
            return false;
        }
        text = FromSingleByte(bytes_.subspan(pos_, length));
        pos_ += length;
        return true;
    }

private:
    ByteView bytes_;
    std::size_t pos_ = 0;
};

} // namespace

Bytes EncodeRegistrationRecord(const RegistrationRecord& record) {
    Bytes out;
    AppendText(out, record.ownerName);
    AppendText(out, record.addressLine1);
    AppendText(out, record.emailAddress);
    AppendText(out, record.city);
    AppendText(out, record.county);
    AppendU16(out, static_cast<std::uint16_t>(record.countryNumber));
    AppendText(out, record.postCode);
    AppendText(out, record.phoneNumber);
    return out;
}

RegistrationRecord DecodeRegistrationRecord(ByteView bytes) {
    RegistrationRecord record;
    FieldReader reader(bytes);
    std::uint16_t country = 0;
    // Each step runs only while the ones before it found their bytes.
    (void)(reader.ReadText(record.ownerName) && reader.ReadText(record.addressLine1) &&
           reader.ReadText(record.emailAddress) && reader.ReadText(record.city) &&
           reader.ReadText(record.county) && reader.ReadU16(country) &&
           (record.countryNumber = static_cast<std::int16_t>(country), true) &&
           reader.ReadText(record.postCode) && reader.ReadText(record.phoneNumber));
    return record;
}

RegistrationRecord ReadRegistrationRecord(const std::filesystem::path& dataFolder) {
    const auto bytes = ReadWholeFile(dataFolder / kRegistrationFileName);
    return bytes ? DecodeRegistrationRecord(*bytes) : RegistrationRecord{};
}

bool WriteRegistrationRecord(const std::filesystem::path& dataFolder,
                             const RegistrationRecord& record) {
    return WriteFileAtomically(dataFolder / kRegistrationFileName,
                               EncodeRegistrationRecord(record));
}

void ApplyRegistrationDefaults(RegistrationRecord& record) {
    if (record.ownerName.empty()) {
        record.ownerName = "Not Registered";
    }
    if (record.postCode.empty()) {
        record.postCode = "AA0 0AA";
    }
    if (record.countryNumber == 0) {
        record.countryNumber = 1;
    }
}

} // namespace tallybird
