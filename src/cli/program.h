#pragma once

#include "model/organisation_table.h"
#include "model/settings.h"
#include "model/shared_state.h"
#include "platform/data_folder.h"
#include "platform/settings_store.h"
#include "runtime/chip_export.h"
#include "runtime/session_wiring.h"
#include "session/session.h"
#include "web/http_client.h"
#include "web/service_client.h"

#include <filesystem>
#include <string>

namespace tallybird::cli {

inline constexpr int kUsageError = 64;

// What the desktop program holds for the whole run, for one command.
struct Program {
    SettingsStore store{SettingsStore::DefaultFile(), SettingsStore::AdministratorDefaultFiles()};
    Settings settings{store};
    SharedState state;
    OrganisationTable organisations;
    ExportText exportText;
    CurlHttpClient http;
    ServiceClient service;

    Program() : service(LoadState(), http) {}

    SessionEnd Session(const std::filesystem::path& device, int portNumber,
                       SessionObserver& observer) {
        return RunSessionOnDevice(device, {.state = state,
                                           .settings = settings,
                                           .organisations = organisations,
                                           .observer = observer,
                                           .service = service,
                                           .portNumber = portNumber});
    }

private:
    std::string LoadState() {
        LoadSharedState(state, settings, ResolveDataFolder(DefaultDataHome(), InstallFolder()));
        return state.serverBaseUrl;
    }
};

} // namespace tallybird::cli
