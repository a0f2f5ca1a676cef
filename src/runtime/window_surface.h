#pragma once

#include "session/session.h"
#include "session/session_observer.h"

#include <string>

namespace tallybird {

// What detection and the session do to the main window and the tray: the
// session's observer calls plus the scanner's arrival and departure and the
// end of a session. The window implements it on its own thread.
class WindowSurface : public SessionObserver {
public:
    // Window and tray to connected; the window comes up.
    virtual void ScannerConnected() = 0;
    // Window and tray to offline; the window goes to the tray and keyboard
    // mode ends.
    virtual void ScannerGone() = 0;
    // A session with the scanner begins (after the service answered); the
    // window holds off quitting until it is over.
    virtual void SessionStarted() {}
    // A session is over; the tray tells the user how it went.
    virtual void SessionEnded(SessionEnd end) = 0;
    // A candidate port was refused for lack of permission (once per
    // attachment): the user hears of it with the remedy.
    virtual void PortRefused(const std::string& /*device*/) {}
    // The scanner was left in keyboard mode and has not gone since.
    virtual bool WedgeRunning() const { return false; }
    // The keyboard wedge runs but no keystroke can leave this session (no
    // portal, no X display), and why; said once.
    virtual void KeystrokesUnavailable(const std::string& /*why*/) {}
};

} // namespace tallybird
