#pragma once

#include "platform/log_file.h"

namespace tallybird {

// Sends the program's messages (the tallybird.* logging categories, and Qt's
// own warnings) to `log`, one time-stamped line each, and to stderr as well
// when `mirrorToStderr`. Debug messages stay off unless mirrored. `log` must
// outlive every later message; RemoveProgramLog() undoes it.
void InstallProgramLog(LogFile& log, bool mirrorToStderr);
void RemoveProgramLog();

// The program log for as long as the object lives.
class ProgramLogScope {
public:
    ProgramLogScope(LogFile& log, bool mirrorToStderr) { InstallProgramLog(log, mirrorToStderr); }
    ~ProgramLogScope() { RemoveProgramLog(); }
    ProgramLogScope(const ProgramLogScope&) = delete;
    ProgramLogScope& operator=(const ProgramLogScope&) = delete;
};

} // namespace tallybird
