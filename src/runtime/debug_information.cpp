#include "runtime/debug_information.h"

#include "model/settings.h"
#include "platform/settings_store.h"

#include <QtGlobal>

#include <algorithm>
#include <array>
#include <cctype>
#include <deque>
#include <fstream>
#include <string_view>

namespace tallybird {

namespace {

// Keys a hand-edited or older settings file might hold that name a person;
// they never leave the computer in a debug report.
constexpr std::array<std::string_view, 9> kPersonalKeys{
    "Name", "Address1", "Address2", "City", "County", "PostCode", "Phone", "Email", "Country"};

bool IsPersonal(const std::string& key) {
    return std::any_of(kPersonalKeys.begin(), kPersonalKeys.end(), [&](std::string_view personal) {
        return key.size() == personal.size() &&
               std::equal(key.begin(), key.end(), personal.begin(), [](char a, char b) {
                   return std::tolower(static_cast<unsigned char>(a)) ==
                          std::tolower(static_cast<unsigned char>(b));
               });
    });
}

void AppendLastLines(const std::filesystem::path& file, std::size_t count,
                     std::deque<std::string>& lines) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) {
        return;
    }
    std::ifstream in(file);
    std::deque<std::string> fileLines;
    for (std::string line; std::getline(in, line);) {
        fileLines.push_back(std::move(line));
        if (fileLines.size() > count) {
            fileLines.pop_front();
        }
    }
    lines.insert(lines.begin(), fileLines.begin(), fileLines.end());
}

} // namespace

std::vector<std::string> LastLogLines(const std::filesystem::path& logFile, std::size_t count) {
    std::deque<std::string> lines;
    // Newest file first; each older one fills in before what is already there.
    for (int age = 0; age < 3 && lines.size() < count; ++age) {
        std::filesystem::path file = logFile;
        if (age > 0) {
            file += "." + std::to_string(age);
        }
        AppendLastLines(file, count - lines.size(), lines);
    }
    return {lines.begin(), lines.end()};
}

DebugFacts CollectDebugFacts(SettingsStore& store, const std::filesystem::path& logFile) {
    DebugFacts facts;
    facts.programVersion = TALLYBIRD_VERSION_TEXT;
    facts.qtVersion = qVersion();
    facts.settingsFile = store.File().string();
    for (auto& [key, value] : store.Section("Settings")) {
        if (!IsPersonal(key)) {
            facts.settings.emplace(key, value);
        }
    }
    const Settings settings(store);
    const PortDirectory directory = PortDirectory::FromSettings(settings);
    for (int port = kFirstPort; port <= kLastPort; ++port) {
        DebugPort line{port, directory.Check(port), directory.Path(port).string(),
                       directory.Description(port), directory.IsCandidate(port)};
        if (line.check.status != PortStatus::kAbsent || directory.IsMapped(port)) {
            facts.ports.push_back(std::move(line));
        }
    }
    facts.logFile = logFile.string();
    facts.logLines = LastLogLines(logFile, kDebugLogLines);
    return facts;
}

std::string DebugInformationText(const DebugFacts& facts) {
    std::string text = "Tallybird " + facts.programVersion + " (Qt " + facts.qtVersion + ")\n";
    text += "Keyboard wedge keystrokes: " +
            (facts.keystrokePath.empty() ? std::string("not used yet") : facts.keystrokePath) +
            "\n";
    text += "\nSettings (" + facts.settingsFile + "):\n";
    for (const auto& [key, value] : facts.settings) {
        text += "  " + key + "=" + value + "\n";
    }
    text += "\nPorts (number, status, path, description, candidate):\n";
    if (facts.ports.empty()) {
        text += "  none present\n";
    }
    for (const DebugPort& port : facts.ports) {
        text += "  " + std::to_string(port.number) + "\t" +
                std::to_string(static_cast<int>(port.check.status)) + " " +
                PortStatusWord(port.check.status) + "\t" + port.path + "\t" + port.description +
                "\t" + (port.candidate ? "candidate" : "not probed");
        if (!port.check.failure.text.empty()) {
            text += "\t(" + port.check.failure.text + ")";
        }
        text += "\n";
    }
    text += "\nLog (" + facts.logFile + ", the last " + std::to_string(facts.logLines.size()) +
            " lines):\n";
    for (const std::string& line : facts.logLines) {
        text += line + "\n";
    }
    return text;
}

} // namespace tallybird
