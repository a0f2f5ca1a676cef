#pragma once

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>

namespace tallybird {

// The program's log on disk, for support to read: one line per message,
// appended; at `rotateBytes` the file becomes "<name>.1" (the older one
// "<name>.2") and a new one starts, so at most three files are kept. The
// folder and the files are only for the user. Lines from any thread.
class LogFile {
public:
    static constexpr std::size_t kRotateBytes = std::size_t{1} << 20; // 1 MiB
    static constexpr int kKeptFiles = 3;

    explicit LogFile(std::filesystem::path file, std::size_t rotateBytes = kRotateBytes);
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // $XDG_STATE_HOME/Tallybird/tallybird.log.
    static std::filesystem::path DefaultFile();

    const std::filesystem::path& File() const { return file_; }
    // Appends `line` and a line feed; false when the log cannot be written
    // (the program goes on without it).
    bool Write(std::string_view line);

private:
    bool OpenLocked();
    void RotateLocked();

    std::filesystem::path file_;
    std::size_t rotateBytes_;
    std::mutex mutex_;
    std::FILE* out_ = nullptr;
    std::size_t size_ = 0;
};

} // namespace tallybird
