#pragma once

#include "base/bytes.h"

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace tallybird::test {

// A folder of its own for one test, removed with everything in it afterwards.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Sets environment variables and the current folder for one test and puts
// the old ones back when it goes.
class ScopedEnvironment {
public:
    ScopedEnvironment();
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

    void Set(const std::string& name, const std::string& value);
    void Unset(const std::string& name);
    void ChangeFolder(const std::filesystem::path& folder);

private:
    void Remember(const std::string& name);

    std::filesystem::path folder_;
    std::map<std::string, std::optional<std::string>> saved_;
};

// Sanitizer builds run slower: every wait a test makes is scaled by
// TALLYBIRD_TEST_TIME_FACTOR (default 1).
double TimeFactor();
std::chrono::milliseconds Scaled(std::chrono::milliseconds wait);

void WriteFile(const std::filesystem::path& file, ByteView contents);
void WriteTextFile(const std::filesystem::path& file, const std::string& contents);
Bytes ReadFile(const std::filesystem::path& file);

} // namespace tallybird::test
