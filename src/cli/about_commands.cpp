#include "cli/about_commands.h"

#include "cli/program.h"
#include "model/country_table.h"
#include "model/registration_record.h"
#include "runtime/about_info.h"
#include "runtime/software_update.h"

#include <ostream>

namespace tallybird::cli {

int RunAbout(const CommandLine&, std::ostream& out, std::ostream&) {
    Program program;
    RegistrationRecord record = ReadRegistrationRecord(program.state.dataFolder);
    ApplyRegistrationDefaults(record);
    AboutFacts facts = CollectAboutFacts(program.state, record);
    facts.databaseOnline = ServiceAnswers(program.service);
    for (const std::string& line : AboutLinesFor(facts, BuildCountryTable())) {
        out << line << '\n';
    }
    return 0;
}

int RunUpdate(const CommandLine& line, std::ostream& out, std::ostream& err) {
    const bool install = line.Has("install");
    Program program;
    const UpdateCheck check = CheckForUpdate(program.service, RunningVersion());
    out << check.currentLine << '\n' << check.latestLine << '\n';
    if (!install) {
        return 0;
    }
    if (!kSelfUpdateBuild) {
        err << kPackageManagerNote << '\n';
        return 1;
    }
    if (!check.newerVersion) {
        return 0; // nothing newer to install
    }
    const InstallOutcome outcome =
        DownloadAndStartInstaller(program.service, *check.newerVersion, program.state.dataFolder);
    if (!outcome.started) {
        err << "Error: Unable to download new version\n";
        return 1;
    }
    return 0;
}

} // namespace tallybird::cli
