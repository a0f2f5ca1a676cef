#include "model/session_file.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <limits>

namespace tallybird {
namespace {

static_assert(std::endian::native == std::endian::little,
              "the session file is little-endian and written as memory images");
static_assert(std::numeric_limits<double>::is_iec559);

template <typename T> void AppendRaw(Bytes& out, const T* values, std::size_t count) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(values);
    out.insert(out.end(), bytes, bytes + count * sizeof(T));
}

template <typename T> bool ReadRaw(ByteView bytes, std::size_t& pos, T* values, std::size_t count) {
    const std::size_t size = count * sizeof(T);
    if (bytes.size() - pos < size) {
        return false;
    }
    std::memcpy(values, bytes.data() + pos, size);
    pos += size;
    return true;
}

std::string NumberedName(std::int64_t serial, const char* extension) {
    char name[40];
    std::snprintf(name, sizeof name, "TBM%08lld%s", static_cast<long long>(serial), extension);
    return name;
}

} // namespace

std::string SessionFileName(std::int64_t scannerSerial) {
    return NumberedName(scannerSerial, ".tbf");
}

std::string ErrorMarkerFileName(std::int64_t scannerSerial) {
    return NumberedName(scannerSerial, ".err");
}

std::string RegistrationDueFileName(std::int64_t scannerSerial) {
    return NumberedName(scannerSerial, ".reg");
}

Bytes EncodeSessionFile(const SessionFileData& data) {
    Bytes out;
    out.reserve(kSessionFileFixedSize + std::size_t{kOrganisationEntries} * 34);
    AppendRaw(out, &data.timeStamp, 1);
    AppendRaw(out, data.list.values.data(), kListSlots);
    AppendRaw(out, data.list.attributes.data(), kListSlots);
    AppendRaw(out, data.scannedValues.data(), kScannedValueCells);
    AppendRaw(out, &data.list.count, 1);
    for (int i = 0; i < kOrganisationEntries; ++i) {
        const Bytes& text = data.organisations.entries[static_cast<std::size_t>(i)];
        const auto length = static_cast<std::uint16_t>(
            std::min<std::size_t>(text.size(), std::numeric_limits<std::uint16_t>::max()));
        AppendRaw(out, &length, 1);
        out.insert(out.end(), text.begin(), text.begin() + length);
    }
    return out;
}

std::optional<SessionFileData> DecodeSessionFile(ByteView bytes) {
    SessionFileData data;
    std::size_t pos = 0;
    if (!ReadRaw(bytes, pos, &data.timeStamp, 1) ||
        !ReadRaw(bytes, pos, data.list.values.data(), kListSlots) ||
        !ReadRaw(bytes, pos, data.list.attributes.data(), kListSlots) ||
        !ReadRaw(bytes, pos, data.scannedValues.data(), kScannedValueCells) ||
        !ReadRaw(bytes, pos, &data.list.count, 1)) {
        return std::nullopt;
    }
    if (data.list.count < 0 || data.list.count > kListSlots) {
        return std::nullopt;
    }
    for (int i = 0; i < kOrganisationEntries; ++i) {
        std::uint16_t length = 0;
        if (!ReadRaw(bytes, pos, &length, 1) || bytes.size() - pos < length) {
            return std::nullopt;
        }
        const auto text = bytes.subspan(pos, length);
        data.organisations.entries[static_cast<std::size_t>(i)].assign(text.begin(), text.end());
        pos += length;
    }
    if (pos != bytes.size()) {
        return std::nullopt;
    }
    return data;
}

} // namespace tallybird
