#pragma once

#include <filesystem>

namespace tallybird {

// The folder that holds the registration record and the per-scanner files:
// `dataHome`/Tallybird. When it does not exist yet it is created, and an
// older installation that kept its files beside the program (the
// installation folder holds TBLREG.tbf) has every *.tbf file copied in; this
// happens only on the run that creates the folder. With no `dataHome` the
// folder is `installFolder`/Tallybird, neither tested nor created. Failures
// to create or copy are not reported: the program goes on.
std::filesystem::path ResolveDataFolder(const std::filesystem::path& dataHome,
                                        const std::filesystem::path& installFolder);

// $XDG_DATA_HOME (default ~/.local/share; a relative value is ignored).
std::filesystem::path DefaultDataHome();

// The folder of the running executable.
std::filesystem::path InstallFolder();

} // namespace tallybird
