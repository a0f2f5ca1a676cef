#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

namespace tallybird {

// Tells cheaply (one stat) whether a file or folder changed: its
// modification time, its size, or whether it exists at all. Used by the
// periodic checks that would otherwise re-read the settings file or list
// /dev several times a second.
class FileWatch {
public:
    explicit FileWatch(std::filesystem::path file) : file_(std::move(file)) {}

    // True on the first call and whenever the file changed since the last one.
    bool Changed();

    const std::filesystem::path& File() const { return file_; }

private:
    struct Stamp {
        std::int64_t seconds = 0;
        std::int64_t nanoseconds = 0;
        std::int64_t size = 0;
        bool operator==(const Stamp&) const = default;
    };

    std::filesystem::path file_;
    bool first_ = true;
    std::optional<Stamp> last_;
};

} // namespace tallybird
