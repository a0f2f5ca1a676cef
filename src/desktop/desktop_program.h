#pragma once

namespace tallybird {

// The desktop program's main: the application object, the start-up, the
// event loop. Returns the exit status.
int RunDesktopProgram(int argc, char** argv);

} // namespace tallybird
