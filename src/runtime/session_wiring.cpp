#include "runtime/session_wiring.h"

#include "link/serial_port.h"
#include "link/transport_link.h"
#include "runtime/history_store.h"

#include <utility>

namespace tallybird {

SessionEnd RunSessionOnDevice(Transport& transport, const std::filesystem::path& device,
                              SessionParts parts) {
    RegistrationRecord record;
    if (parts.record) {
        record = std::move(*parts.record);
    } else {
        record = ReadRegistrationRecord(parts.state.dataFolder);
        ApplyRegistrationDefaults(record);
    }
    SessionObserver& observer = parts.observer;
    transport.SetCaptionSink([&observer](const std::string& c) { observer.ShowCaption(c); });
    transport.SetProgressSink(
        [&observer](int done, int total) { observer.ShowStepProgress(done, total); });
    TransportLink link(transport, device);
    SessionContext context{parts.state, parts.settings, std::move(record), parts.organisations,
                           observer,    link,           parts.service,     parts.portNumber};
    context.sleep = std::move(parts.sleep);
    SessionRecord history;
    context.historyRecord = &history;
    const SessionEnd end = RunSession(context);
    // The observer may not outlive the session.
    transport.SetCaptionSink({});
    transport.SetProgressSink({});
    // After the session's own end, so a history that cannot be written
    // changes nothing the session did or said. A session that never learnt
    // which scanner it had read nothing and leaves nothing, in the history as
    // in the data folder.
    if (end != SessionEnd::NotRun && !history.scanner.empty() && !parts.state.dataFolder.empty()) {
        KeepInHistory(HistoryFile(parts.state.dataFolder), history,
                      [&observer](const std::string& text) { observer.HistoryNotice(text); });
    }
    return end;
}

SessionEnd RunSessionOnDevice(const std::filesystem::path& device, SessionParts parts) {
    QtSerialPort port;
    const SteadyClock clock;
    Transport transport(port, clock);
    return RunSessionOnDevice(transport, device, std::move(parts));
}

} // namespace tallybird
