#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <string>

namespace tallybird::test {

// What a careless or hostile hand can leave where the program expects a
// regular file of its own.
enum class HostileFile {
    Directory,        // holds a file of its own, so it cannot be removed in passing
    Fifo,             // an open for reading blocks until a writer comes
    DanglingSymlink,  // points at a file that does not exist (`DanglingTarget`)
    SymlinkToDevZero, // a device that never ends
    CharDevice,       // a character device node (the numbers of /dev/zero)
};

std::string Name(HostileFile kind);
void PrintTo(HostileFile kind, std::ostream* out); // test names and messages

// Where a dangling symlink placed at `file` points: beside it, never created.
std::filesystem::path DanglingTarget(const std::filesystem::path& file);

// Places `kind` at `file`. False when the system does not let this process
// make it (a device node needs the privilege to make one).
bool PlaceHostileFile(HostileFile kind, const std::filesystem::path& file);

// Runs `work` in a child process, so that a call that blocks or never ends
// shows as a time-out instead of hanging the test program. The child's exit
// code; nothing when it did not exit by itself within `limit` (it is then
// killed) or ended by a signal.
std::optional<int> ExitCodeWithin(std::chrono::milliseconds limit,
                                  const std::function<int()>& work);

} // namespace tallybird::test
