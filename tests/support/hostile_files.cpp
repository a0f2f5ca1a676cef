#include "support/hostile_files.h"

#include "support/test_support.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <thread>

namespace tallybird::test {

void PrintTo(HostileFile kind, std::ostream* out) {
    *out << Name(kind);
}

std::string Name(HostileFile kind) {
    switch (kind) {
    case HostileFile::Directory:
        return "Directory";
    case HostileFile::Fifo:
        return "Fifo";
    case HostileFile::DanglingSymlink:
        return "DanglingSymlink";
    case HostileFile::SymlinkToDevZero:
        return "SymlinkToDevZero";
    case HostileFile::CharDevice:
        return "CharDevice";
    }
    return "Unknown";
}

std::filesystem::path DanglingTarget(const std::filesystem::path& file) {
    std::filesystem::path target = file;
    target += ".target";
    return target;
}

bool PlaceHostileFile(HostileFile kind, const std::filesystem::path& file) {
    std::error_code ec;
    switch (kind) {
    case HostileFile::Directory:
        std::filesystem::create_directory(file, ec);
        WriteTextFile(file / "inside", "kept");
        return !ec;
    case HostileFile::Fifo:
        return ::mkfifo(file.c_str(), 0600) == 0;
    case HostileFile::DanglingSymlink:
        std::filesystem::create_symlink(DanglingTarget(file), file, ec);
        return !ec;
    case HostileFile::SymlinkToDevZero:
        std::filesystem::create_symlink("/dev/zero", file, ec);
        return !ec;
    case HostileFile::CharDevice:
        return ::mknod(file.c_str(), S_IFCHR | 0600, makedev(1, 5)) == 0;
    }
    return false;
}

std::optional<int> ExitCodeWithin(std::chrono::milliseconds limit,
                                  const std::function<int()>& work) {
    const pid_t child = ::fork();
    if (child < 0) {
        return std::nullopt;
    }
    if (child == 0) {
        // Nothing may leave the child but its exit: an escaping exception
        // would have it run the rest of the test program as a second copy.
        int code = 125;
        try {
            code = work();
        } catch (...) {
        }
        ::_exit(code);
    }
    const auto deadline = std::chrono::steady_clock::now() + Scaled(limit);
    int status = 0;
    while (::waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return WIFEXITED(status) ? std::optional<int>(WEXITSTATUS(status)) : std::nullopt;
}

} // namespace tallybird::test
