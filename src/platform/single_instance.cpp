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

SingleInstance::Holder SingleInstance::CurrentHolder() const {
    qint64 pid = 0;
    QString host;
    QString application;
    if (!lock_->getLockInfo(&pid, &host, &application)) {
        return {};
    }
    return {pid, application.toStdString()};
}

} // namespace tallybird

namespace tallybird {

std::string SingleInstance::HolderText() const {
    const Holder holder = CurrentHolder();
    std::string text;
    if (holder.program == kDesktopProgramName) {
        text = "the Tallybird desktop program";
    } else if (holder.program == kCliProgramName) {
        text = "tallybird-cli watch";
    } else {
        text = "another Tallybird program";
    }
    if (holder.pid > 0) {
        text += " (process " + std::to_string(holder.pid) + ")";
    }
    return text;
}

} // namespace tallybird
