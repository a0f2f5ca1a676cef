#pragma once

#include "support/test_support.h"

#include <QProcess>
#include <QStringList>

#include <filesystem>
#include <string>
#include <thread>

namespace tallybird::test {

// `tallybird-sim scanner` as a child process on a link in a folder of its own.
class ScannerSim {
public:
    ScannerSim(const std::filesystem::path& folder, QStringList options)
        : link_(folder / "kivo"), log_(folder / "wire.log") {
        QStringList args = {"scanner", "--link", QString::fromStdString(link_.string()), "--log",
                            QString::fromStdString(log_.string())};
        args += options;
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(TALLYBIRD_SIM_PATH, args);
        process_.waitForStarted();
        const auto deadline = std::chrono::steady_clock::now() + Scaled(std::chrono::seconds(10));
        while (!std::filesystem::exists(link_) && std::chrono::steady_clock::now() < deadline) {
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

private:
    std::filesystem::path link_;
    std::filesystem::path log_;
    QProcess process_;
};

struct ProcessResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs tallybird-cli with XDG_CONFIG_HOME set to `configHome`.
inline ProcessResult RunCli(const std::filesystem::path& configHome, const QStringList& args) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", QString::fromStdString(configHome.string()));
    process.setProcessEnvironment(env);
    process.start(TALLYBIRD_CLI_PATH, args);
    process.waitForFinished(static_cast<int>(Scaled(std::chrono::seconds(30)).count()));
    ProcessResult result;
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput().toStdString();
    result.err = process.readAllStandardError().toStdString();
    return result;
}

} // namespace tallybird::test
