#include "platform/single_instance.h"

#include "platform/xdg_folders.h"

#include <QLockFile>
#include <QString>

namespace tallybird {

SingleInstance::SingleInstance(const std::filesystem::path& lockFile)
    : lock_(std::make_unique<QLockFile>(QString::fromStdString(lockFile.string()))) {
    // The program runs for days: only a lock whose process is gone is stale,
    // never one that is merely old.
    lock_->setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

std::filesystem::path SingleInstance::DefaultLockFile() {
    return XdgRuntimeFolder() / "tallybird.lock";
}

bool SingleInstance::Acquire() {
    return lock_->isLocked() || lock_->tryLock(0);
}

} // namespace tallybird
