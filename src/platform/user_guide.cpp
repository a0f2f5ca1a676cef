#include "platform/user_guide.h"

#include <system_error>

namespace tallybird {

std::filesystem::path UserGuideFile(const std::filesystem::path& installFolder) {
    constexpr const char* kName = "UserGuide.pdf";
    auto installed = installFolder.parent_path() / "share" / "doc" / "tallybird" / kName;
    std::error_code error;
    if (std::filesystem::is_regular_file(installed, error)) {
        return installed;
    }
    return installFolder / kName;
}

} // namespace tallybird
