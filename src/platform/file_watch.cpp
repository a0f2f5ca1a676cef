#include "platform/file_watch.h"

#include <sys/stat.h>

namespace tallybird {

bool FileWatch::Changed() {
    std::optional<Stamp> now;
    struct stat info {};
    if (::stat(file_.c_str(), &info) == 0) {
        now = Stamp{info.st_mtim.tv_sec, info.st_mtim.tv_nsec, info.st_size};
    }
    const bool changed = first_ || now != last_;
    first_ = false;
    last_ = now;
    return changed;
}

} // namespace tallybird
