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

double TimeFactor() {
    const char* text = std::getenv("TALLYBIRD_TEST_TIME_FACTOR");
    const double factor = text != nullptr ? std::atof(text) : 1.0;
    return factor >= 1.0 ? factor : 1.0;
}

std::chrono::milliseconds Scaled(std::chrono::milliseconds wait) {
    return std::chrono::milliseconds(static_cast<long long>(wait.count() * TimeFactor()));
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
