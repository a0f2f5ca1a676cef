// The desktop program idle in the tray: time from launch to the tray icon's
// dock request, then CPU time and peak memory over an idle stretch with no
// scanner attached (a detection pass over ports 1..255 every second).
//
//   xvfb-run -a build/default/bench/bench_desktop [IDLE_SECONDS]   (default 60)
//
// The benchmark owns the system tray selection of the display, so the
// program sees a tray and asks to dock its icon there.
#include <X11/Xlib.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// utime + stime of a process, in seconds.
double CpuSeconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) {
            utime = std::stoull(field);
        } else if (i == 15) {
            stime = std::stoull(field);
        }
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// A /proc/PID/status line's value in kB ("VmHWM", "VmRSS").
long StatusKb(pid_t pid, const std::string& key) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(key + ":", 0) == 0) {
            return std::atol(line.c_str() + key.size() + 1);
        }
    }
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    const int idleSeconds = argc > 1 ? std::atoi(argv[1]) : 60;
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "bench_desktop: no X display (run it under xvfb-run -a)\n");
        return 1;
    }
    const Window tray =
        XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
    XSetSelectionOwner(display, XInternAtom(display, "_NET_SYSTEM_TRAY_S0", False), tray,
                       CurrentTime);
    const Atom opcode = XInternAtom(display, "_NET_SYSTEM_TRAY_OPCODE", False);
    XSync(display, False);

    char pattern[] = "/tmp/tallybird-bench-XXXXXX";
    const std::filesystem::path home = mkdtemp(pattern);
    for (const char* sub : {"config/Tallybird", "data", "runtime"}) {
        std::filesystem::create_directories(home / sub);
    }
    std::filesystem::permissions(home / "runtime", std::filesystem::perms::owner_all);
    std::ofstream(home / "config/Tallybird/Tallybird.ini")
        << "[Settings]\nStartUp=Registered\nServerBaseUrl=http://127.0.0.1:9/alpha/\n";
    setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
    setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (home / "runtime").c_str(), 1);

    std::string program = TALLYBIRD_DESKTOP_PATH, hidden = "--hidden";
    char* args[] = {program.data(), hidden.data(), nullptr};
    pid_t pid = -1;
    const auto launched = Clock::now();
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, args, environ) != 0) {
        std::fprintf(stderr, "bench_desktop: cannot start %s\n", program.c_str());
        return 1;
    }

    // The icon's dock request (opcode 0) arrives as a client message.
    double dockMs = -1;
    while (Clock::now() - launched < std::chrono::seconds(20)) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == ClientMessage && event.xclient.message_type == opcode &&
                event.xclient.data.l[1] == 0) {
                dockMs = std::chrono::duration<double, std::milli>(Clock::now() - launched).count();
            }
        }
        if (dockMs >= 0) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (dockMs < 0) {
        std::fprintf(stderr, "bench_desktop: no tray icon within 20 s\n");
    }

    std::this_thread::sleep_for(std::chrono::seconds(2)); // start-up settles
    const double cpuBefore = CpuSeconds(pid);
    const auto idleStart = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(idleSeconds));
    const double cpuAfter = CpuSeconds(pid);
    const double wall = std::chrono::duration<double>(Clock::now() - idleStart).count();
    const long peakKb = StatusKb(pid, "VmHWM");
    const long rssKb = StatusKb(pid, "VmRSS");

    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    std::error_code ec;
    std::filesystem::remove_all(home, ec);

    std::printf("launch to tray icon:      %.0f ms\n", dockMs);
    std::printf("idle CPU time:            %.3f s over %.1f s = %.3f %% of one core\n",
                cpuAfter - cpuBefore, wall, 100.0 * (cpuAfter - cpuBefore) / wall);
    std::printf("peak memory (VmHWM):      %.1f MB (resident now %.1f MB)\n",
                static_cast<double>(peakKb) / 1024.0, static_cast<double>(rssKb) / 1024.0);
    XCloseDisplay(display);
    return dockMs >= 0 ? 0 : 1;
}
