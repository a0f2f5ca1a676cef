#pragma once

#include "base/bytes.h"
#include "link/session_link.h"
#include "model/organisation_table.h"
#include "platform/clock.h"

namespace tallybird {

// The scanner's 256 organisation slots of 32 bytes in the top 8 KiB of its
// memory: a text of at most 31 bytes, a byte 0, then 255s.
class OrganisationUpdate {
public:
    OrganisationUpdate(SessionLink& link, int flashTopByte, Sleeper sleep)
        : link_(link), flashTopByte_(flashTopByte), sleep_(std::move(sleep)) {}

    // Compares the scanner's slots with entries 0..255 of `table` and, at the
    // first difference, erases the area and writes the table up to its first
    // empty entry. False at the first command that fails.
    bool Apply(const OrganisationTable& table) const;

    // The slot's text as the scanner holds it: up to the first byte 0, at
    // most 32 bytes, without the 255s.
    static Bytes SlotText(ByteView slot);
    // The 32 bytes written for an entry.
    static Bytes SlotData(const Bytes& entry);

private:
    enum class Comparison { Same, Differs, CommandFailed };
    Comparison CompareSlots(const OrganisationTable& table) const;
    bool WriteEntry(int slot, const Bytes& entry) const;

    SessionLink& link_;
    int flashTopByte_;
    Sleeper sleep_;
};

} // namespace tallybird
