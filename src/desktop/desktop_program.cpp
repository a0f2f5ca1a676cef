#include "desktop/desktop_program.h"

#include "desktop/message_box_dialog.h"
#include "desktop/registration_page.h"
#include "desktop/welcome_page.h"
#include "platform/data_folder.h"
#include "platform/locale_info.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>
#include <cstdlib>

namespace tallybird {
namespace {

// A session still running at the end gets this long to finish its command.
constexpr std::chrono::seconds kWorkerStopWait{5};
// How long the window thread waits for the worker between looks at its own
// events.
constexpr std::chrono::milliseconds kWorkerStopSlice{20};

constexpr const char* kUsage =
    R"(Usage: tallybird [--hidden]

The Tallybird desktop program. It sits in the tray and, whenever a Kivo
Scanner is plugged in, uploads the chips scanned since last time to the
Tallybird service, loads the latest list of missing animals into the scanner
and shows the chips it read. A second start only brings the running
program's window up.

Options:
  --hidden      start in the tray, as the login autostart entry does
  -h, --help    show this text
  --version     show the program version

Settings are kept in ~/.config/Tallybird/Tallybird.ini, the registration and
one file per scanner in ~/.local/share/Tallybird. tallybird-cli runs the same
sessions from a terminal.
)";

struct CommandLine {
    bool hidden = false;
    bool help = false;
    bool version = false;
};

// Read before the application object exists, so --help and --version answer
// without a display. Options the parser does not know are Qt's own
// (-platform, -display, ...) and are left to QApplication.
CommandLine ReadCommandLine(int argc, char** argv) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption hidden(QStringLiteral("hidden"));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    parser.addOptions({hidden, help, version});
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    (void)parser.parse(arguments); // unknown options stay Qt's
    return {parser.isSet(hidden), parser.isSet(help), parser.isSet(version)};
}

} // namespace

DesktopProgram::DesktopProgram(DesktopOptions options)
    : options_(std::move(options)),
      store_(SettingsStore::DefaultFile(), SettingsStore::AdministratorDefaultFiles()),
      settings_(store_) {
    if (options_.dialogs != nullptr) {
        dialogs_ = options_.dialogs;
    } else {
        ownDialogs_ = std::make_unique<MessageBoxDialogs>();
        dialogs_ = ownDialogs_.get();
    }
    if (!options_.localeDiallingCode) {
        options_.localeDiallingCode = &LocaleDiallingCode;
    }
}

DesktopProgram::~DesktopProgram() {
    StopWorker(std::chrono::milliseconds::max());
}

bool DesktopProgram::Start() {
    // The data folder, the wedge end character and the service address; the
    // flags and the port table start cleared. A reset a closed program left
    // pending stays pending.
    LoadSharedState(state_, settings_, ResolveDataFolder(DefaultDataHome(), InstallFolder()));

    // One instance: a second launch asks the first to come up and ends.
    instance_ = std::make_unique<SingleInstance>(
        options_.lockFile.value_or(SingleInstance::DefaultLockFile()));
    if (!instance_->Acquire()) {
        const SingleInstance::Holder holder = instance_->CurrentHolder();
        if (holder.program == kCliProgramName) {
            // tallybird-cli watch runs the sessions; a window beside it
            // would fight it for the scanner.
            dialogs_->Message(nullptr, kApplicationTitle,
                              instance_->HolderText() +
                                  " already synchronises scanners for this account. Stop it "
                                  "first (for the user service: systemctl --user stop "
                                  "tallybird-watch), then start Tallybird again.",
                              DialogIcon::Warning, DialogButtons::Ok);
            return false;
        }
        settings_.SetShowRequested(true);
        return false;
    }

    window_ = std::make_unique<MainWindow>(state_, settings_, *dialogs_, exportText_,
                                           options_.trayAvailable);
    if (auto* boxes = dynamic_cast<MessageBoxDialogs*>(dialogs_)) {
        boxes->SetFallback(window_.get());
    }

    // The registration wizard until the owner has completed it once.
    if (settings_.StartUp() != "Registered") {
        RunRegistrationWizard();
    }

    // The window loads hidden, with its tray icon.
    window_->Load();

    // The worker reaches the window through the bridge; the detection tick
    // starts a pass on it unless one is still running.
    bridge_ = std::make_unique<WindowBridge>(*window_, *window_, window_->WedgeItemChecked());
    // Once the program ends, a session still finishing reaches the window no
    // more: its boxes are skipped and it goes on to its end.
    QObject::connect(window_.get(), &MainWindow::ProgramEnded, window_.get(),
                     [this] { bridge_->Close(); });
    detection_ = std::make_unique<DetectionRunner>(state_, settings_, *bridge_);
    thread_ = std::make_unique<DetectionThread>(*detection_);
    QObject::connect(window_.get(), &MainWindow::DetectionTick, window_.get(),
                     [this] { thread_->StartPass(); });
    QObject::connect(window_.get(), &MainWindow::WedgeTick, window_.get(),
                     [this] { thread_->WedgeTick(); });
    window_->StartTimers();

    // The registration record, with its defaults for what was never entered.
    record_ = ReadRegistrationRecord(state_.dataFolder);
    ApplyRegistrationDefaults(record_);

    if (!options_.startHidden) {
        window_->Restore();
    } else if (!window_->TrayIcon().HasIcon()) {
        window_->showMinimized(); // no tray to come back from
    }
    return true;
}

void DesktopProgram::RunRegistrationWizard() {
    WelcomePage welcome(window_.get());
    welcome.exec();
    RegistrationPage details(state_, settings_, *dialogs_, options_.localeDiallingCode(),
                             window_.get());
    details.exec();
}

bool DesktopProgram::StopWorker(std::chrono::milliseconds wait) {
    if (!thread_) {
        return true;
    }
    // The worker may be handing a call to the window thread, which is this
    // one: its events keep flowing while the worker finishes.
    const bool forever = wait == std::chrono::milliseconds::max();
    const auto deadline = std::chrono::steady_clock::now() + (forever ? kWorkerStopWait : wait);
    while (!thread_->Stop(kWorkerStopSlice)) {
        if (!forever && std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, kWorkerStopSlice.count());
    }
    return true;
}

int RunDesktopProgram(int argc, char** argv) {
    const CommandLine line = ReadCommandLine(argc, argv);
    if (line.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (line.version) {
        std::printf("tallybird %s\n", TALLYBIRD_VERSION_TEXT);
        return 0;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tallybird"));
    // The desktop entry's name, so the desktop ties the window to its icon.
    QApplication::setDesktopFileName(QStringLiteral("org.tallybird.Tallybird"));
    QApplication::setQuitOnLastWindowClosed(false);

    DesktopOptions options;
    options.startHidden = line.hidden;
    auto program = std::make_unique<DesktopProgram>(std::move(options));
    if (!program->Start()) {
        return 0;
    }
    QObject::connect(&program->Window(), &MainWindow::ProgramEnded, &app, &QCoreApplication::quit);
    const int code = QApplication::exec();
    if (!program->StopWorker(kWorkerStopWait)) {
        // A session is still waiting on the scanner or the service. Whatever
        // it was writing is repaired by the next session (its marker and the
        // session file are only ever replaced whole), so the program ends now
        // rather than hang on the way out.
        std::fflush(nullptr);
        std::_Exit(code);
    }
    program.reset();
    return code;
}

} // namespace tallybird
