#include "support/test_support.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace tallybird::test {

TempDir::TempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "tallybird-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary folder");
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

ScopedEnvironment::ScopedEnvironment() : folder_(std::filesystem::current_path()) {}

ScopedEnvironment::~ScopedEnvironment() {
    for (const auto& [name, value] : saved_) {
        if (value) {
            ::setenv(name.c_str(), value->c_str(), 1);
        } else {
            ::unsetenv(name.c_str());
        }
    }
    std::error_code ec;
    std::filesystem::current_path(folder_, ec);
}

void ScopedEnvironment::Set(const std::string& name, const std::string& value) {
    Remember(name);
    ::setenv(name.c_str(), value.c_str(), 1);
}

void ScopedEnvironment::Unset(const std::string& name) {
    Remember(name);
    ::unsetenv(name.c_str());
}

void ScopedEnvironment::ChangeFolder(const std::filesystem::path& folder) {
    std::filesystem::current_path(folder);
}

void ScopedEnvironment::Remember(const std::string& name) {
    if (saved_.count(name) == 0) {
        const char* value = std::getenv(name.c_str());
        saved_[name] = value != nullptr ? std::optional<std::string>(value) : std::nullopt;
    }
}

double TimeFactor() {
    const char* text = std::getenv("TALLYBIRD_TEST_TIME_FACTOR");
    const double factor = text != nullptr ? std::atof(text) : 1.0;
    return factor >= 1.0 ? factor : 1.0;
}

std::chrono::milliseconds Scaled(std::chrono::milliseconds wait) {
    return std::chrono::milliseconds(
        static_cast<long long>(static_cast<double>(wait.count()) * TimeFactor()));
}

void WriteFile(const std::filesystem::path& file, ByteView contents) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(contents.data()),
              static_cast<std::streamsize>(contents.size()));
}

void WriteTextFile(const std::filesystem::path& file, const std::string& contents) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << contents;
}

Bytes ReadFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

} // namespace tallybird::test
