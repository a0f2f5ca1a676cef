#pragma once

#include "sim_codecs.h"

#include <QByteArray>
#include <QJsonArray>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tallybird::sim {

// One chip of a missing animal: country code (0..1019) and national number.
struct LostChip {
    unsigned country = 0;
    std::uint64_t national = 0;
    std::uint8_t attribute = 0;
};

// One change of a country's list: when it was made and what it does (1 or 2
// add, 100 or 102 remove; any other operation is sent as it is).
struct ListChange {
    double time = 0;
    std::uint8_t operation = 1;
    LostChip chip;
};

struct CountryData {
    std::vector<LostChip> lost;             // the current list
    std::vector<ListChange> log;            // the changes that led to it, oldest first
    std::optional<double> logStart;         // the log is complete after this time
    std::vector<std::string> organisations; // fields: name, number, name, ...
};

// How one endpoint misbehaves. `delay` (seconds) holds back any reply.
struct Fault {
    std::string mode = "none"; // none, html, 500, slow, truncated, partial, raw
    double delay = 0;
    Bytes raw; // the body of mode "raw"
};

struct ServiceState {
    std::optional<double> time; // fixed service time; none: the real clock
    std::string version = "2.5";
    std::string installer = "#!/bin/sh\necho \"Tallybird installer\"\n";
    std::map<int, CountryData> countries;
    std::map<std::string, Fault> faults; // by endpoint name
    // What the service received, in arrival order.
    QJsonArray requests;
    QJsonArray registrations;
    QJsonArray uploads;
};

inline const std::vector<std::string> kFaultModes = {"none",      "html",    "500", "slow",
                                                     "truncated", "partial", "raw", "endless"};

// The state file. Unknown keys are ignored; a missing key keeps its default.
bool ParseState(const QByteArray& json, ServiceState& state, std::string& error);
QByteArray StateToJson(const ServiceState& state);
QByteArray RecordsToJson(const ServiceState& state);

// Parses the chip text of the state file: 15 (or 16) digits, the country
// code followed by a 12-digit national number.
std::optional<LostChip> ParseChip(const std::string& text);

// The reply of "getlost.php" for a country and the client's last update:
// the whole current list as additions when `since` is 0 or before the log
// starts, otherwise every change made after `since`.
Bytes LostListBody(const CountryData& country, double since);

// The reply of "getorganisations.php": every field URL-encoded, joined by "|".
std::string OrganisationsBody(const CountryData& country);

bool IsFaultMode(const std::string& mode);

} // namespace tallybird::sim
