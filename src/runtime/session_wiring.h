#pragma once

#include "link/transport.h"
#include "model/organisation_table.h"
#include "model/registration_record.h"
#include "model/settings.h"
#include "model/shared_state.h"
#include "platform/clock.h"
#include "session/session.h"
#include "session/session_observer.h"
#include "web/service_client.h"

#include <filesystem>
#include <optional>

namespace tallybird {

// What a front end holds for a session besides the device: the program's
// state, the organisation table of the run, the observer and the service.
struct SessionParts {
    SharedState& state;
    Settings& settings;
    OrganisationTable& organisations;
    SessionObserver& observer;
    ServiceClient& service;
    int portNumber = 1;
    // The registration record read from the data folder, with its defaults,
    // unless one is given here.
    std::optional<RegistrationRecord> record = std::nullopt;
    Sleeper sleep = SleepFor;
};

// One synchronisation session with the scanner on `device`, over `transport`
// (its port is opened and closed by the session; its captions reach the
// observer). A caller that runs many sessions keeps one transport, and so
// one reply buffer, for all of them.
SessionEnd RunSessionOnDevice(Transport& transport, const std::filesystem::path& device,
                              SessionParts parts);

// The same over a serial port and a transport of its own.
SessionEnd RunSessionOnDevice(const std::filesystem::path& device, SessionParts parts);

} // namespace tallybird
