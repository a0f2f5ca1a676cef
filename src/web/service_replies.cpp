#include "web/service_replies.h"

#include "web/url_codec.h"

#include "base/chip_number.h"
#include "base/leading_number.h"

#include <algorithm>
#include <array>
#include <vector>

namespace tallybird {
namespace {

std::string_view AsText(ByteView bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// The first bytes of the service's own error page, upper case exactly.
constexpr std::array<std::uint8_t, 5> kErrorPageStart = {'<', 'H', 'T', 'M', 'L'};

bool IsOperationAdd(std::uint8_t op) {
    return op == 1 || op == 2;
}
bool IsOperationRemove(std::uint8_t op) {
    return op == 100 || op == 102;
}

double RecordChipNumber(const std::uint8_t* record) {
    const RecordChip chip = DecodeRecordChip(record);
    return ChipNumberValue(chip.country, chip.national);
}

bool IsBlank(std::uint8_t c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

} // namespace

double ReplyNumber(ByteView reply) {
    return LeadingNumber(AsText(reply));
}

LostListReply ReadLostList(ByteView reply) {
    LostListReply result;
    if (reply.size() < kLostRecordSize) {
        return result;
    }
    if (std::equal(kErrorPageStart.begin(), kErrorPageStart.end(), reply.begin())) {
        return result;
    }
    if (reply.size() % kLostRecordSize != 0) {
        result.outcome = LostListOutcome::Malformed;
        return result;
    }
    result.outcome = LostListOutcome::Changes;
    for (std::size_t at = 0; at < reply.size(); at += kLostRecordSize) {
        const std::uint8_t* record = reply.data() + at;
        const std::uint8_t op = record[6];
        if (IsOperationAdd(op)) {
            if (result.addedChips.size() == kMaxListChanges) {
                return {LostListOutcome::Malformed, {}, {}};
            }
            result.addedChips.push_back({RecordChipNumber(record), record[7]});
        } else if (IsOperationRemove(op)) {
            if (result.removedChips.size() == kMaxListChanges) {
                return {LostListOutcome::Malformed, {}, {}};
            }
            result.removedChips.push_back(RecordChipNumber(record));
        }
    }
    return result;
}

std::optional<std::string> PlainVersion(ByteView reply) {
    auto first = reply.begin();
    auto last = reply.end();
    while (first != last && IsBlank(*first)) {
        ++first;
    }
    while (last != first && IsBlank(*(last - 1))) {
        --last;
    }
    // Longer than any version the service has a reason to name.
    constexpr std::ptrdiff_t kLongestVersion = 16;
    if (first == last || last - first > kLongestVersion) {
        return std::nullopt;
    }
    bool afterDigit = false;
    for (auto it = first; it != last; ++it) {
        if (*it >= '0' && *it <= '9') {
            afterDigit = true;
        } else if (*it == '.' && afterDigit) {
            afterDigit = false;
        } else {
            return std::nullopt;
        }
    }
    if (!afterDigit) {
        return std::nullopt; // ends with a dot
    }
    return std::string(first, last);
}

OrganisationTable BuildOrganisationTable(ByteView reply) {
    const Bytes decoded = UrlDecode(reply);

    std::vector<ByteView> fields;
    const ByteView text(decoded);
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '|') {
            fields.push_back(text.subspan(start, i - start));
            start = i + 1;
        }
    }

    OrganisationTable table;
    std::size_t entry = 1;
    for (std::size_t e = 0; e + 1 < fields.size() && entry < kOrganisationTableSize; e += 2) {
        Bytes& joined = table.entries[entry++];
        joined.assign(fields[e].begin(), fields[e].end());
        joined.push_back(' ');
        joined.insert(joined.end(), fields[e + 1].begin(), fields[e + 1].end());
        if (joined.size() > kOrganisationTextMax) {
            joined.resize(kOrganisationTextMax);
        }
    }
    table.entries[0].assign(kDefaultOrganisation.begin(), kDefaultOrganisation.end());
    return table;
}

} // namespace tallybird
