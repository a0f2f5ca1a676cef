#pragma once

#include <filesystem>

namespace tallybird {

// The user guide the Help menu opens. An installed program finds it in the
// documentation folder of its prefix (/usr/bin/tallybird opens
// /usr/share/doc/tallybird/UserGuide.pdf); a program run from its build
// folder finds the one set beside it. When neither is a regular file, the
// name beside the program (opening it then shows the desktop's own error).
std::filesystem::path UserGuideFile(const std::filesystem::path& installFolder);

} // namespace tallybird
