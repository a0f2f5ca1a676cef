#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

class QLockFile;

namespace tallybird {

// One program running sessions per user, the desktop program or
// `tallybird-cli watch`: a lock file in the runtime folder, held for the whole
// run, so two of them never drive the same scanner at once. A lock left by a
// process that no longer runs is taken over.
// The programs' file names, as a lock file names its holder.
inline constexpr const char* kDesktopProgramName = "tallybird";
inline constexpr const char* kCliProgramName = "tallybird-cli";

class SingleInstance {
public:
    explicit SingleInstance(const std::filesystem::path& lockFile);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // $XDG_RUNTIME_DIR/tallybird.lock (Qt's runtime location; a relative
    // value is ignored).
    static std::filesystem::path DefaultLockFile();

    // True when this process now holds the lock; false when another running
    // instance does.
    bool Acquire();

    // Who holds the lock, as its lock file says: the process number and the
    // program's file name; a number of 0 when it cannot be read.
    struct Holder {
        std::int64_t pid = 0;
        std::string program;
    };
    Holder CurrentHolder() const;
    // The holder in words: "the Tallybird desktop program (process 12)",
    // "tallybird-cli watch (process 12)".
    std::string HolderText() const;

private:
    std::unique_ptr<QLockFile> lock_;
};

} // namespace tallybird
