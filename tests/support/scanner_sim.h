#pragma once

#include "support/test_support.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <thread>

namespace tallybird::test {

// `tallybird-sim scanner` as a child process on a link in a folder of its own.
class ScannerSim {
public:
    ScannerSim(const std::filesystem::path& folder, QStringList options)
        : link_(folder / "kivo"), log_(folder / "wire.log"), control_(folder / "control"),
          dump_(folder / "dump.json") {
        QStringList args = {"scanner",
                            "--link",
                            QString::fromStdString(link_.string()),
                            "--log",
                            QString::fromStdString(log_.string()),
                            "--control",
                            QString::fromStdString(control_.string())};
        args += options;
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(TALLYBIRD_SIM_PATH, args);
        process_.waitForStarted();
        const auto deadline = std::chrono::steady_clock::now() + Scaled(std::chrono::seconds(10));
        while (!(std::filesystem::exists(link_) && std::filesystem::exists(control_)) &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ~ScannerSim() {
        process_.terminate();
        if (!process_.waitForFinished(static_cast<int>(Scaled(std::chrono::seconds(10)).count()))) {
            process_.kill();
            process_.waitForFinished();
        }
    }
    ScannerSim(const ScannerSim&) = delete;
    ScannerSim& operator=(const ScannerSim&) = delete;

    const std::filesystem::path& Link() const { return link_; }
    bool Linked() const { return std::filesystem::exists(link_); }
    // The commands received so far, one line each.
    std::string WireLog() const {
        const Bytes bytes = ReadFile(log_);
        return std::string(bytes.begin(), bytes.end());
    }

    // One line to the control channel; its one-line answer.
    std::string Control(const std::string& line) const {
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        control_.string().copy(address.sun_path, sizeof address.sun_path - 1);
        std::string answer;
        if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
            const std::string request = line + "\n";
            if (write(fd, request.data(), request.size()) == static_cast<ssize_t>(request.size())) {
                char c = 0;
                while (read(fd, &c, 1) == 1 && c != '\n') {
                    answer.push_back(c);
                }
            }
        }
        close(fd);
        return answer;
    }

    // Everything the scanner holds, with its memory as "memoryBase64".
    QJsonObject Dump() const {
        Control("dump " + dump_.string());
        const Bytes bytes = ReadFile(dump_);
        return QJsonDocument::fromJson(QByteArray(reinterpret_cast<const char*>(bytes.data()),
                                                  static_cast<qsizetype>(bytes.size())))
            .object();
    }

private:
    std::filesystem::path link_;
    std::filesystem::path log_;
    std::filesystem::path control_;
    std::filesystem::path dump_;
    QProcess process_;
};

struct ProcessResult {
    int exitCode = -1; // -1 when it did not exit by itself (a signal, the time limit)
    bool timedOut = false;
    std::string out;
    std::string err;
};

// The settings file the programs read under `configHome`: the lines of
// section [Settings] ("Key=value\n" each) and, when given, of [Ports].
inline void WriteCliSettings(const std::filesystem::path& configHome, const std::string& settings,
                             const std::string& ports = {}) {
    std::filesystem::create_directories(configHome / "Tallybird");
    WriteTextFile(configHome / "Tallybird" / "Tallybird.ini",
                  "[Settings]\n" + settings + (ports.empty() ? "" : "\n[Ports]\n" + ports));
}

// Runs tallybird-cli with XDG_CONFIG_HOME set to `configHome` and its data
// folder below it (`configHome`/data-home/Tallybird), never the user's own;
// through `wrapper` (a program and its first arguments) when one is given.
inline void StartCli(QProcess& process, const std::filesystem::path& configHome,
                     const QStringList& args, const QStringList& wrapper = {}) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", QString::fromStdString(configHome.string()));
    env.insert("XDG_DATA_HOME", QString::fromStdString((configHome / "data-home").string()));
    env.insert("XDG_STATE_HOME", QString::fromStdString((configHome / "state-home").string()));
    // A runtime folder of the test's own: the instance lock of one test's
    // watch never meets another's.
    const auto runtime = configHome / "runtime";
    std::filesystem::create_directories(runtime);
    std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(runtime.string()));
    process.setProcessEnvironment(env);
    if (wrapper.isEmpty()) {
        process.start(TALLYBIRD_CLI_PATH, args);
    } else {
        process.start(wrapper.front(), wrapper.mid(1) + QStringList{TALLYBIRD_CLI_PATH} + args);
    }
}

// A process still running after `limit` (scaled) is killed.
inline ProcessResult RunCli(const std::filesystem::path& configHome, const QStringList& args,
                            std::chrono::milliseconds limit = std::chrono::seconds(60),
                            const QStringList& wrapper = {}) {
    QProcess process;
    StartCli(process, configHome, args, wrapper);
    ProcessResult result;
    if (!process.waitForFinished(static_cast<int>(Scaled(limit).count()))) {
        result.timedOut = process.state() != QProcess::NotRunning;
        process.kill();
        process.waitForFinished();
    } else if (process.exitStatus() == QProcess::NormalExit) {
        result.exitCode = process.exitCode();
    }
    result.out = process.readAllStandardOutput().toStdString();
    result.err = process.readAllStandardError().toStdString();
    return result;
}

} // namespace tallybird::test
