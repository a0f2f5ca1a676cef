#pragma once

#include "link/session_link.h"
#include "model/history.h"
#include "model/organisation_table.h"
#include "model/registration_record.h"
#include "model/session_record.h"
#include "model/settings.h"
#include "model/shared_state.h"
#include "platform/clock.h"
#include "session/session_observer.h"
#include "web/service_client.h"

#include <memory>
#include <string>
#include <vector>

namespace tallybird {

// How a synchronisation session ended.
enum class SessionEnd {
    Orderly,       // the scanner sleeps (or types chips): safe to remove
    Failure,       // a scanner command failed; a marker tells the next session
    SoftwareError, // anything else went wrong; nothing more was sent
    NotRun,        // the port number is out of range
};

// How the log and the chip history name an end: "orderly end", "failure
// path", "software error", "not run".
const char* SessionEndName(SessionEnd end);

// Everything one session works with. The organisation table lives for the
// whole run and is shared by its sessions.
struct SessionContext {
    SharedState& state;
    Settings& settings;
    RegistrationRecord record;
    OrganisationTable& organisationTable;
    SessionObserver& observer;
    SessionLink& link;
    ServiceClient& service;
    int portNumber = 1;
    Sleeper sleep = SleepFor;
    LocalClock clock = LocalTimeNow;
    // Filled at the session's end, however it ended, for the chip history.
    SessionRecord* historyRecord = nullptr;
};

// One synchronisation session with the scanner on the context's link, from
// identification to sleep, ending in exactly one of the three ends.
SessionEnd RunSession(SessionContext& context);

// The marker the failure path leaves for a failed step.
std::string MarkerForStep(const std::string& step);

// The caption of the reset's n-th second (0..30): "Progress: Resetting
// Scanner 00%" .. "Progress: Resetting Scanner 100%".
std::string ResetCaption(int second);
// The percentage that caption shows.
int ResetPercent(int second);

} // namespace tallybird
