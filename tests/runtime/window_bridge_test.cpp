#include "runtime/window_bridge.h"

#include <QCoreApplication>
#include <QObject>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace tallybird {
namespace {

// Records each call with the thread it ran on.
class RecordingSurface final : public WindowSurface {
public:
    std::vector<std::string> calls;
    std::vector<std::thread::id> threads;

    void Record(std::string call) {
        calls.push_back(std::move(call));
        threads.push_back(std::this_thread::get_id());
    }
    void ShowCaption(const std::string& caption) override { Record(caption); }
    void SetWindowTitle(const std::string& title) override { Record("title " + title); }
    void EnableKeyboardWedgeItem(bool) override { Record("enable"); }
    bool KeyboardWedgeItemChecked() override {
        Record("read the menu");
        return false;
    }
    void UncheckKeyboardWedgeItem() override { Record("uncheck"); }
    void SetUpdateLabel(const std::string& text) override { Record(text); }
    void ShowChipList(const ChipHistory& history) override {
        Record("rows " + std::to_string(history.rows.size()));
    }
    void ShowMessage(const std::string& title, const std::string& text, MessageIcon) override {
        Record(title + ": " + text);
    }
    void StartKeyboardWedge() override { Record("wedge"); }
    void ScannerConnected() override { Record("connected"); }
    void ScannerGone() override { Record("gone"); }
    void SessionStopped(const std::string& reason) override { Record("stopped: " + reason); }
    void SessionStarted() override { Record("started"); }
    void SessionEnded(SessionEnd) override { Record("ended"); }
    void HistoryNotice(const std::string& text) override { Record("history: " + text); }
};

void ProcessEventsUntil(const std::function<bool()>& done) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done() && std::chrono::steady_clock::now() < limit) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
}

TEST(WindowBridgeTest, WorkerCallsRunOnTheWindowThreadInOrderAndMessagesWait) {
    QObject window;
    RecordingSurface surface;
    std::atomic<bool> checked{true};
    WindowBridge bridge(window, surface, checked);

    std::atomic<bool> messageReturned{false};
    std::atomic<bool> workerDone{false};
    bool checkedSeen = false;
    std::thread worker([&] {
        for (int i = 0; i < 50; ++i) {
            bridge.ShowCaption("Progress: " + std::to_string(i));
        }
        checkedSeen = bridge.KeyboardWedgeItemChecked();
        bridge.ShowMessage("USB Fail", "Device Unplugged during write: WC2", MessageIcon::Critical);
        messageReturned = true;
        bridge.ShowChipList(ChipHistory{{"a", "b"}, {"a", "b"}, ""});
        bridge.StartKeyboardWedge();
        bridge.SessionStarted();
        bridge.SessionStopped("the scanner stopped answering");
        bridge.HistoryNotice("moved aside");
        bridge.SessionEnded(SessionEnd::Failure);
        workerDone = true;
    });

    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(messageReturned) << "the worker waits until the box was handled";
    EXPECT_TRUE(surface.calls.empty()) << "nothing runs on the worker";

    ProcessEventsUntil([&] { return workerDone.load() && surface.calls.size() == 57; });
    worker.join();
    ASSERT_EQ(surface.calls.size(), 57U);
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(surface.calls[static_cast<std::size_t>(i)], "Progress: " + std::to_string(i));
    }
    EXPECT_EQ(surface.calls[50], "USB Fail: Device Unplugged during write: WC2");
    EXPECT_EQ(surface.calls[51], "rows 2");
    EXPECT_EQ(surface.calls[52], "wedge");
    EXPECT_EQ(surface.calls[53], "started");
    EXPECT_EQ(surface.calls[54], "stopped: the scanner stopped answering");
    EXPECT_EQ(surface.calls[55], "history: moved aside");
    EXPECT_EQ(surface.calls[56], "ended");
    for (const auto id : surface.threads) {
        EXPECT_EQ(id, std::this_thread::get_id());
    }
    EXPECT_TRUE(checkedSeen) << "the check mark comes from the atomic, not the menu";
    EXPECT_TRUE(bridge.WedgeRunning());
    bridge.ScannerGone();
    EXPECT_FALSE(bridge.WedgeRunning());
}

TEST(WindowBridgeTest, OnceClosedAWaitingMessageIsReleasedAndNothingMoreReachesTheWindow) {
    QObject window;
    RecordingSurface surface;
    std::atomic<bool> checked{false};
    WindowBridge bridge(window, surface, checked);

    std::atomic<bool> messageReturned{false};
    std::thread worker([&] {
        bridge.ShowCaption("Progress: Updating Scanner");
        // The failure path's box, waiting for the window as the program ends.
        bridge.ShowMessage("USB Fail", "Device Unplugged during write: WC2", MessageIcon::Critical);
        messageReturned = true;
        bridge.ShowMessage("USB Fail", "a second box", MessageIcon::Critical);
        bridge.SessionEnded(SessionEnd::Failure);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(messageReturned);
    bridge.Close();
    ProcessEventsUntil([&] { return messageReturned.load(); });
    worker.join();
    QCoreApplication::processEvents();
    EXPECT_TRUE(messageReturned) << "the worker is not left waiting";
    EXPECT_TRUE(surface.calls.empty()) << "no box and no call after the close";
}

TEST(WindowBridgeTest, AMessageFromTheWindowThreadItselfDoesNotDeadlock) {
    QObject window;
    RecordingSurface surface;
    std::atomic<bool> checked{false};
    WindowBridge bridge(window, surface, checked);
    bridge.ShowMessage("Tallybird", "text", MessageIcon::Information);
    EXPECT_EQ(surface.calls, std::vector<std::string>{"Tallybird: text"});
}

} // namespace
} // namespace tallybird
