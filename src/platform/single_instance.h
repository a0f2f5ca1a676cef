#pragma once

#include <filesystem>
#include <memory>

class QLockFile;

namespace tallybird {

// One running desktop program per user: a lock file in the runtime folder,
// held for the whole run. A lock left by a process that no longer runs is
// taken over.
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

private:
    std::unique_ptr<QLockFile> lock_;
};

} // namespace tallybird
