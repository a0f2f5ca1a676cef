#pragma once

#include "support/test_support.h"

#include <X11/Xlib.h>

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

extern char** environ;

namespace tallybird::test {

// True once the tests' main started an Xvfb server and the application on it
// (xvfb_main.cpp); a test that needs the display skips without it.
bool XvfbDisplayReady();

// An Xvfb server of the test's own on a display number it picks itself
// (-displayfd), ended with the object.
class XvfbDisplay {
public:
    XvfbDisplay() {
        const std::string program = FindXvfb();
        if (program.empty()) {
            return;
        }
        int fds[2];
        if (pipe(fds) != 0) {
            return;
        }
        std::string displayFd = std::to_string(fds[1]);
        std::string name = program, displayFdOption = "-displayfd", screen = "-screen", zero = "0",
                    geometry = "1024x768x24", noListen = "-nolisten", tcp = "tcp";
        char* argv[] = {name.data(), displayFdOption.data(), displayFd.data(), screen.data(),
                        zero.data(), geometry.data(),        noListen.data(),  tcp.data(),
                        nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        const int spawned = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        if (spawned != 0) {
            pid_ = -1;
            close(fds[0]);
            return;
        }
        std::string number;
        pollfd poller{fds[0], POLLIN, 0};
        const auto limit = Scaled(std::chrono::milliseconds(15'000));
        while (poll(&poller, 1, static_cast<int>(limit.count())) > 0) {
            char c = 0;
            if (read(fds[0], &c, 1) != 1 || c == '\n') {
                break;
            }
            number.push_back(c);
        }
        close(fds[0]);
        if (!number.empty()) {
            display_ = ":" + number;
        }
    }
    ~XvfbDisplay() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    XvfbDisplay(const XvfbDisplay&) = delete;
    XvfbDisplay& operator=(const XvfbDisplay&) = delete;

    // ":N", or empty when no server runs.
    const std::string& Name() const { return display_; }

private:
    static std::string FindXvfb() {
        for (const char* folder : {"/usr/bin", "/usr/local/bin", "/bin"}) {
            const auto path = std::filesystem::path(folder) / "Xvfb";
            if (access(path.c_str(), X_OK) == 0) {
                return path.string();
            }
        }
        return {};
    }

    pid_t pid_ = -1;
    std::string display_;
};

// A system tray as far as programs can tell: a window that owns the tray
// selection of screen 0. Icons asking to dock are not embedded.
class FakeSystemTray {
public:
    FakeSystemTray() : display_(XOpenDisplay(nullptr)) {
        if (display_ == nullptr) {
            return;
        }
        window_ = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 1, 1, 0, 0, 0);
        XSetSelectionOwner(display_, XInternAtom(display_, "_NET_SYSTEM_TRAY_S0", False), window_,
                           CurrentTime);
        XSync(display_, False);
    }
    ~FakeSystemTray() {
        if (display_ != nullptr) {
            XDestroyWindow(display_, window_);
            XCloseDisplay(display_);
        }
    }
    FakeSystemTray(const FakeSystemTray&) = delete;
    FakeSystemTray& operator=(const FakeSystemTray&) = delete;

private:
    Display* display_;
    Window window_ = 0;
};

} // namespace tallybird::test
