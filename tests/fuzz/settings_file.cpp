// The settings file as a user or an administrator may have edited it: every
// value is read as the program reads it, and what it saves comes back whole.
#include "base/single_byte_text.h"
#include "fuzz_check.h"
#include "model/settings.h"
#include "platform/settings_store.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

std::filesystem::path SettingsFile() {
    static const std::filesystem::path file = [] {
        const auto folder = std::filesystem::temp_directory_path() /
                            ("tallybird-fuzz-settings-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder);
        return folder / "Tallybird.ini";
    }();
    return file;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto file = SettingsFile();
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    tallybird::SettingsStore store(file);
    tallybird::Settings settings(store);
    const int wedgeEnd = tallybird::WedgeEndCharFrom(settings.WedgeEnd());
    FUZZ_CHECK(wedgeEnd >= 1 && wedgeEnd <= 255);
    (void)settings.ShowRequested();
    (void)settings.StartUp();
    (void)settings.Keyboard();
    (void)settings.Comm();
    (void)settings.ServerBaseUrl();
    (void)settings.ResetPending();
    for (const auto& [port, path] : settings.PortMap()) {
        FUZZ_CHECK(port >= 1 && port <= 255);
    }
    // A text saved beside whatever the file holds reads back exactly (the
    // program's texts are UTF-8: the input's bytes are made one).
    const std::string value =
        tallybird::FromSingleByte(tallybird::ByteView(data, std::min<std::size_t>(size, 64)));
    settings.SetStartUp(value);
    FUZZ_CHECK(settings.StartUp() == value);
    return 0;
}
