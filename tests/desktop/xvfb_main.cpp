// The main of the tests that need a real X display: an Xvfb server of their
// own, and the widget application on it.
#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "xvfb_display.h" // after Qt: Xlib defines short macro names

namespace tallybird::test {
namespace {

bool displayReady = false;

} // namespace

bool XvfbDisplayReady() {
    return displayReady;
}

} // namespace tallybird::test

// Leak reports that are not ours: Qt's X11 platform asks the session bus for
// the desktop's services, and libdbus keeps what it allocated for that until
// the process ends. (Read by LeakSanitizer in the sanitizer build only.)
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n";
}

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    bool listing = false;
    for (int i = 1; i < argc; ++i) {
        listing = listing || std::strncmp(argv[i], "--gtest_list_tests", 18) == 0;
    }
    std::unique_ptr<tallybird::test::XvfbDisplay> xvfb;
    std::unique_ptr<QApplication> app;
    if (!listing) {
        xvfb = std::make_unique<tallybird::test::XvfbDisplay>();
        if (!xvfb->Name().empty()) {
            setenv("DISPLAY", xvfb->Name().c_str(), 1);
            setenv("QT_QPA_PLATFORM", "xcb", 1);
            app = std::make_unique<QApplication>(argc, argv);
            QApplication::setQuitOnLastWindowClosed(false);
            tallybird::test::displayReady = true;
        }
    }
    const int result = RUN_ALL_TESTS();
    app.reset();
    return result;
}
