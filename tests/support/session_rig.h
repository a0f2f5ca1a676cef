#pragma once

// One synchronisation session in this process against a simulated scanner
// on a real pseudo-terminal and a simulated service over real HTTP. The
// session's deliberate waits (reset, erase pause, sleep) are skipped; its
// time limits are real.

#include "link/serial_port.h"
#include "link/transport.h"
#include "link/transport_link.h"
#include "model/settings.h"
#include "model/shared_state.h"
#include "platform/clock.h"
#include "runtime/chip_export.h"
#include "runtime/session_wiring.h"
#include "session/session.h"
#include "support/scanner_sim.h"
#include "support/service_sim.h"
#include "support/test_support.h"
#include "web/http_client.h"
#include "web/service_client.h"

#include <QJsonArray>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tallybird::test {

class RecordingObserver : public SessionObserver {
public:
    std::vector<std::string> captions;
    std::vector<std::string> titles;
    std::vector<std::string> messages; // "title: text"
    std::vector<std::string> rows;
    ExportText exportText;
    bool wedgeItemChecked = false;
    bool wedgeItemEnabled = false;
    bool wedgeStarted = false;
    // The step progress bar's values, in order, as (done, total).
    std::vector<std::pair<int, int>> progress;
    std::vector<std::string> stopReasons;

    void ShowCaption(const std::string& caption) override { captions.push_back(caption); }
    void SetWindowTitle(const std::string& title) override { titles.push_back(title); }
    void EnableKeyboardWedgeItem(bool enabled) override { wedgeItemEnabled = enabled; }
    bool KeyboardWedgeItemChecked() override { return wedgeItemChecked; }
    void UncheckKeyboardWedgeItem() override { wedgeItemChecked = false; }
    void SetUpdateLabel(const std::string&) override {}
    void ShowChipList(const ChipHistory& history) override {
        rows = history.rows;
        exportText.Append(history.sessionLines);
    }
    void ShowMessage(const std::string& title, const std::string& text, MessageIcon) override {
        messages.push_back(title + ": " + text);
    }
    void StartKeyboardWedge() override { wedgeStarted = true; }
    void ShowStepProgress(int done, int total) override { progress.emplace_back(done, total); }
    void SessionStopped(const std::string& reason) override { stopReasons.push_back(reason); }

    bool Saw(const std::string& caption) const {
        return std::find(captions.begin(), captions.end(), caption) != captions.end();
    }
};

// A chip of the service's list as the state file writes it.
inline QJsonObject Chip(const std::string& text, int attribute = 0) {
    return QJsonObject{{"chip", QString::fromStdString(text)}, {"attribute", attribute}};
}

// A scanner link that answers each command code from a table.
class ScriptedLink : public SessionLink {
public:
    std::map<std::string, Bytes> replies;
    std::vector<std::string> sent;

    bool Open() override { return open_ = true; }
    void Close() override { open_ = false; }
    bool IsOpen() const override { return open_; }
    [[nodiscard]] bool SendCommand(ByteView command) override {
        const std::string code(command.begin(), command.begin() + 2);
        sent.push_back(code);
        const auto found = replies.find(code);
        reply_ = found != replies.end() ? found->second : Bytes{'Z'};
        return true;
    }
    ByteView Reply() const override { return reply_; }

private:
    bool open_ = false;
    Bytes reply_;
};

class SessionRig {
public:
    explicit SessionRig(const std::string& serviceState)
        : service_(dir_.Path(), serviceState), store_(ConfigHome() / "Tallybird" / "Tallybird.ini"),
          settings_(store_) {
        std::filesystem::create_directories(dataFolder());
        store_.Save("Settings", "ServerBaseUrl", service_.BaseUrl());
        LoadSharedState(state, settings_, dataFolder());
    }

    // A scanner with these options in a folder of its own (the old one goes).
    ScannerSim& PlugScanner(QStringList options) {
        scanner_.reset();
        const auto folder = dir_ / ("scanner" + std::to_string(++scanners_));
        std::filesystem::create_directories(folder);
        scanner_ = std::make_unique<ScannerSim>(folder, options);
        return *scanner_;
    }

    SessionEnd Run(RecordingObserver& observer) {
        CurlHttpClient http;
        ServiceClient client(state.serverBaseUrl, http);
        SessionParts parts{state, settings_, organisations, observer, client, 1, record};
        parts.sleep = [](std::chrono::milliseconds) {};
        return RunSessionOnDevice(scanner_->Link(), std::move(parts));
    }

    // The session over any link, against the simulated service.
    SessionEnd RunOn(SessionLink& link, RecordingObserver& observer) {
        CurlHttpClient http;
        ServiceClient client(state.serverBaseUrl, http);
        SessionContext context{state, settings_, record, organisations, observer, link, client, 1};
        context.sleep = [](std::chrono::milliseconds) {};
        return RunSession(context);
    }

    // Laid out as tallybird-cli finds them (see RunCli), so a process can
    // share this rig's settings and data folder.
    std::filesystem::path ConfigHome() const { return dir_ / "config"; }
    std::filesystem::path dataFolder() const { return ConfigHome() / "data-home" / "Tallybird"; }
    // What a new start of the program reads back: the settings, not memory.
    void Restart() {
        LoadSharedState(state, settings_, dataFolder());
        organisations = OrganisationTable{};
    }
    ScannerSim& Scanner() { return *scanner_; }
    ServiceSim& Service() { return service_; }
    Settings& settings() { return settings_; }
    const TempDir& Dir() const { return dir_; }

    SharedState state;
    RegistrationRecord record{"Ann Owner", "1 Lane", "ann@example.org", "Town",
                              "Shire",     1,        "AB1 2CD",         "01632 960000"};
    OrganisationTable organisations;

private:
    TempDir dir_;
    ServiceSim service_;
    SettingsStore store_;
    Settings settings_;
    std::unique_ptr<ScannerSim> scanner_;
    int scanners_ = 0;
};

// The bodies of the uploads the simulated service received, in order.
inline std::vector<std::string> UploadBodies(const QJsonObject& serviceState) {
    std::vector<std::string> bodies;
    for (const QJsonValue& upload : serviceState.value("uploads").toArray()) {
        bodies.push_back(upload.toObject().value("body").toString().toStdString());
    }
    return bodies;
}

// The commands of a wire log, one code (with its arguments) per entry.
inline std::vector<std::string> WireLines(const std::string& log) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < log.size()) {
        const std::size_t end = log.find('\n', start);
        lines.push_back(log.substr(start, end - start));
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return lines;
}

inline std::vector<std::string> Codes(const std::string& log) {
    std::vector<std::string> codes;
    for (const std::string& line : WireLines(log)) {
        codes.push_back(line.substr(0, 2));
    }
    return codes;
}

} // namespace tallybird::test
