#include "platform/log_file.h"

#include "platform/xdg_folders.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <system_error>

namespace tallybird {
namespace {

std::filesystem::path Numbered(const std::filesystem::path& file, int n) {
    std::filesystem::path numbered = file;
    numbered += "." + std::to_string(n);
    return numbered;
}

} // namespace

LogFile::LogFile(std::filesystem::path file, std::size_t rotateBytes)
    : file_(std::move(file)), rotateBytes_(rotateBytes) {}

LogFile::~LogFile() {
    if (out_ != nullptr) {
        std::fclose(out_);
    }
}

std::filesystem::path LogFile::DefaultFile() {
    return XdgHome("XDG_STATE_HOME", ".local/state") / "Tallybird" / "tallybird.log";
}

bool LogFile::OpenLocked() {
    std::error_code ec;
    const auto folder = file_.parent_path();
    if (!folder.empty() && !std::filesystem::is_directory(folder, ec)) {
        std::filesystem::create_directories(folder, ec);
        std::filesystem::permissions(folder, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::replace, ec);
    }
    // Appended to, never followed through a link.
    const int fd =
        open(file_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return false;
    }
    out_ = fdopen(fd, "a");
    if (out_ == nullptr) {
        close(fd);
        return false;
    }
    size_ = static_cast<std::size_t>(info.st_size);
    return true;
}

void LogFile::RotateLocked() {
    std::fclose(out_);
    out_ = nullptr;
    std::error_code ec;
    for (int n = kKeptFiles - 1; n > 1; --n) {
        std::filesystem::rename(Numbered(file_, n - 1), Numbered(file_, n), ec);
    }
    std::filesystem::rename(file_, Numbered(file_, 1), ec);
}

bool LogFile::Write(std::string_view line) {
    const std::lock_guard lock(mutex_);
    if (out_ == nullptr && !OpenLocked()) {
        return false;
    }
    const bool written = std::fwrite(line.data(), 1, line.size(), out_) == line.size() &&
                         std::fputc('\n', out_) != EOF && std::fflush(out_) == 0;
    size_ += line.size() + 1;
    if (size_ >= rotateBytes_) {
        RotateLocked();
    }
    return written;
}

} // namespace tallybird
