#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <exception>
#include <random>
#include <string>

namespace tallybird {
namespace {

// Closes the descriptor it holds when it goes.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int Get() const { return fd_; }
    bool IsOpen() const { return fd_ >= 0; }

private:
    int fd_;
};

bool IsRegularFile(const struct stat& info) {
    return S_ISREG(info.st_mode);
}

bool ReadAll(int fd, Bytes& contents) {
    std::uint8_t chunk[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got == 0) {
            return true;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        contents.insert(contents.end(), chunk, chunk + got);
    }
}

bool WriteAll(int fd, ByteView contents) {
    while (!contents.empty()) {
        const ssize_t put = ::write(fd, contents.data(), contents.size());
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        contents = contents.subspan(static_cast<std::size_t>(put));
    }
    return true;
}

std::filesystem::path FolderOf(const std::filesystem::path& file) {
    return file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
}

// A file of our own beside the target, created here and nowhere else:
// O_EXCL refuses a name that exists, a symbolic link included. Its mode is
// what an ordinary new file gets (0666 less the umask). Unless it was
// renamed into place, it is removed when the object goes.
class TemporaryFile {
public:
    explicit TemporaryFile(const std::filesystem::path& target) {
        std::random_device random;
        const std::string base = "." + target.filename().string() + ".";
        for (int attempt = 0; attempt < 100; ++attempt) {
            const std::filesystem::path candidate =
                FolderOf(target) / (base + RandomSuffix(random));
            const int fd =
                ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
            if (fd >= 0) {
                fd_ = fd;
                path_ = candidate;
                return;
            }
            if (errno != EEXIST) {
                return;
            }
        }
    }
    ~TemporaryFile() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        if (!path_.empty()) {
            ::unlink(path_.c_str());
        }
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    int Descriptor() const { return fd_; }
    bool IsOpen() const { return fd_ >= 0; }

    // Flushes and closes the file; false when its bytes may not be on disk
    // (close reports a deferred write error on some file systems).
    bool Finish() {
        const bool synced = ::fsync(fd_) == 0;
        const bool closed = ::close(fd_) == 0;
        fd_ = -1;
        return synced && closed;
    }

    // rename() replaces whatever has the target's name (a regular file, a
    // symbolic link, a FIFO, a device node) and never follows a link; it
    // fails on a directory, which is then left as it is.
    bool RenameTo(const std::filesystem::path& target) {
        if (::rename(path_.c_str(), target.c_str()) != 0) {
            return false;
        }
        path_.clear();
        return true;
    }

    // "." + the file's name + "." + the random suffix.
    static bool IsTemporaryOf(const std::string& name, const std::filesystem::path& target) {
        const std::string base = "." + target.filename().string() + ".";
        return name.size() == base.size() + kSuffixLength && name.starts_with(base);
    }

private:
    static constexpr std::size_t kSuffixLength = 6;

    static std::string RandomSuffix(std::random_device& random) {
        static constexpr char kLetters[] =
            "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
        std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
        std::string suffix(kSuffixLength, 'x');
        for (char& c : suffix) {
            c = kLetters[pick(random)];
        }
        return suffix;
    }

    int fd_ = -1;
    std::filesystem::path path_; // empty once renamed, or when none was made
};

// A replaced file keeps the permissions its owner gave it.
void KeepPermissionsOf(const std::filesystem::path& target, int fd) {
    struct stat old {};
    if (::lstat(target.c_str(), &old) == 0 && IsRegularFile(old)) {
        ::fchmod(fd, old.st_mode & 0777);
    }
}

// Makes the rename itself durable. Best effort: the new file is already in
// place, and some file systems cannot sync a folder.
void SyncFolder(const std::filesystem::path& folder) {
    FileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.IsOpen()) {
        ::fsync(dir.Get());
    }
}

} // namespace

bool WriteFileAtomically(const std::filesystem::path& file, ByteView contents) {
    try {
        TemporaryFile temporary(file);
        if (!temporary.IsOpen()) {
            return false;
        }
        KeepPermissionsOf(file, temporary.Descriptor());
        if (!WriteAll(temporary.Descriptor(), contents) || !temporary.Finish() ||
            !temporary.RenameTo(file)) {
            return false;
        }
        SyncFolder(FolderOf(file));
        return true;
    } catch (const std::exception&) {
        return false; // no memory for a name, no source of random names
    }
}

int RemoveLeftoverTemporaries(const std::filesystem::path& file) {
    int removed = 0;
    std::error_code ec;
    std::filesystem::directory_iterator entries(FolderOf(file), ec);
    for (; !ec && entries != std::filesystem::directory_iterator(); entries.increment(ec)) {
        std::error_code entryError;
        if (TemporaryFile::IsTemporaryOf(entries->path().filename().string(), file) &&
            entries->is_regular_file(entryError) &&
            std::filesystem::remove(entries->path(), entryError)) {
            ++removed;
        }
    }
    return removed;
}

std::optional<Bytes> ReadWholeFile(const std::filesystem::path& file) {
    // Only a regular file is ever opened: a FIFO would block the open and a
    // device would never end (or act on being opened). O_NONBLOCK keeps the
    // open from blocking should a FIFO take the file's place in between; the
    // check on the open descriptor then refuses it.
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0 || !IsRegularFile(info)) {
        return std::nullopt;
    }
    FileDescriptor in(::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!in.IsOpen() || ::fstat(in.Get(), &info) != 0 || !IsRegularFile(info)) {
        return std::nullopt;
    }
    Bytes contents;
    try {
        contents.reserve(static_cast<std::size_t>(info.st_size));
        if (!ReadAll(in.Get(), contents)) {
            return std::nullopt;
        }
    } catch (const std::exception&) {
        return std::nullopt; // more than memory holds: unreadable
    }
    return contents;
}

} // namespace tallybird
