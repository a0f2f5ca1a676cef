#include "runtime/detection.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <set>

namespace tallybird {
namespace {

// A clock the test moves by hand.
class ManualClock final : public Clock {
public:
    TimePoint Now() const override { return now; }
    void Advance(std::chrono::milliseconds by) { now += by; }
    TimePoint now{};
};

// Ports as a table the test sets; every call is written down in order.
class RecordingEnvironment : public DetectionEnvironment {
public:
    std::map<int, PortStatus> status;   // absent unless listed
    std::map<int, std::string> replies; // probe replies
    std::set<int> refused;              // busy for lack of permission
    double serviceTime = 1733875200;
    bool wedge = false;
    std::vector<std::string> events;

    PortStatus PortStatusOf(int port) override {
        events.push_back("status " + std::to_string(port));
        const auto it = status.find(port);
        return it == status.end() ? PortStatus::kAbsent : it->second;
    }
    bool PortPresent(int port) override { return status.contains(port); }
    bool PermissionDenied(int port) override { return refused.contains(port); }
    void ReportPermissionDenied(int port) override {
        events.push_back("refused " + std::to_string(port));
    }
    std::string Probe(int port) override {
        events.push_back("probe " + std::to_string(port));
        return replies[port];
    }
    double ServiceCheck() override {
        events.push_back("service");
        return serviceTime;
    }
    void RunSession(int port) override { events.push_back("session " + std::to_string(port)); }
    void ShowCaption(const std::string& caption) override { events.push_back(caption); }
    void ScannerConnected(int port) override {
        events.push_back("connected " + std::to_string(port));
    }
    void ScannerGone(int port) override { events.push_back("gone " + std::to_string(port)); }
    bool WedgeRunning() override { return wedge; }
};

class DetectionTest : public testing::Test {
protected:
    test::TempDir dir;
    SettingsStore store{dir / "Tallybird.ini"};
    Settings settings{store};
    ManualClock clock;
    Detector detector{settings, clock};
    RecordingEnvironment env;

    // The pass's calls, without the status queries (they have a test of
    // their own).
    std::vector<std::string> Pass() {
        std::vector<std::string> events = PassWithStatus();
        std::erase_if(events, [](const std::string& e) { return e.starts_with("status "); });
        return events;
    }
    std::vector<std::string> PassWithStatus() {
        env.events.clear();
        EXPECT_TRUE(detector.RunPass(env));
        return env.events;
    }
};

using Events = std::vector<std::string>;

TEST_F(DetectionTest, OneSessionPerAttachment) {
    EXPECT_EQ(Pass(), (Events{"Progress: No scanner attached"}));

    env.status[7] = PortStatus::kAvailable;
    env.replies[7] = "Kivo Scanner";
    EXPECT_EQ(Pass(), (Events{"probe 7", "Progress: Scanner connected", "connected 7", "service",
                              "session 7"}));
    EXPECT_EQ(detector.StateOf(7), PortState::kHandled);

    EXPECT_EQ(Pass(), Events{}) << "an attached scanner is not probed again";

    env.status.erase(7);
    EXPECT_EQ(Pass(), (Events{"gone 7", "Progress: No scanner attached"}));

    env.status[7] = PortStatus::kAvailable;
    EXPECT_EQ(Pass().back(), "session 7") << "plugged in again: a new session";
}

TEST_F(DetectionTest, PortStatesLiveAsLongAsTheirDetector) {
    env.status[7] = PortStatus::kAvailable;
    env.replies[7] = "Kivo Scanner";
    (void)Pass();
    EXPECT_EQ(Pass(), Events{});

    // A new run starts with every port unknown: the scanner is probed and
    // gets its session again.
    Detector restarted{settings, clock};
    EXPECT_EQ(restarted.StateOf(7), PortState::kUnknown);
    env.events.clear();
    EXPECT_TRUE(restarted.RunPass(env));
    EXPECT_EQ(env.events.back(), "session 7");
    EXPECT_EQ(detector.StateOf(7), PortState::kHandled) << "the first one keeps its own";
}

TEST_F(DetectionTest, NoServiceNoSessionUntilAttachedAgain) {
    env.status[3] = PortStatus::kAvailable;
    env.replies[3] = "Kivo";
    env.serviceTime = 0;
    EXPECT_EQ(Pass(), (Events{"probe 3", "Progress: Scanner connected", "connected 3", "service",
                              "Progress: No internet"}));
    env.serviceTime = 5;
    EXPECT_EQ(Pass(), Events{}) << "no new session, and the status line keeps its caption";
    EXPECT_EQ(detector.StateOf(3), PortState::kHandled);
}

TEST_F(DetectionTest, OtherDevicesAreProbedAfterGrowingPausesAndNotOpenedMeanwhile) {
    env.status[2] = PortStatus::kAvailable;
    env.replies[2] = "ArduinoOK";
    env.status[4] = PortStatus::kBusy;
    EXPECT_EQ(Pass(), (Events{"probe 2", "Progress: No scanner attached"}));
    EXPECT_EQ(detector.StateOf(2), PortState::kUnknown);
    EXPECT_EQ(detector.StateOf(4), PortState::kBusy);

    // Passes every 100 ms for ten minutes: probes after 1, 2, 4, 8, 16, 32 s,
    // then every 60 s; between them the port is not even asked its status.
    std::vector<int> probedAt{0};
    for (int tenths = 1; tenths <= 6000; ++tenths) {
        clock.Advance(std::chrono::milliseconds(100));
        const auto events = PassWithStatus();
        const bool probed = std::count(events.begin(), events.end(), "probe 2") == 1;
        EXPECT_EQ(std::count(events.begin(), events.end(), "status 2"), probed ? 1 : 0);
        if (probed) {
            probedAt.push_back(tenths);
        }
    }
    EXPECT_EQ(probedAt, (std::vector<int>{0, 10, 30, 70, 150, 310, 630, 1230, 1830, 2430, 3030,
                                          3630, 4230, 4830, 5430}));

    // Unplugged and plugged in again: probed at once, the pauses start over.
    env.status.erase(2);
    env.status.erase(4);
    clock.Advance(std::chrono::milliseconds(100));
    EXPECT_EQ(Pass(), (Events{"gone 4", "Progress: No scanner attached"}));
    env.status[2] = PortStatus::kAvailable;
    env.replies[2] = "Kivo Scanner";
    clock.Advance(std::chrono::milliseconds(100));
    EXPECT_EQ(Pass().front(), "probe 2");
    EXPECT_EQ(detector.StateOf(2), PortState::kHandled);
}

TEST_F(DetectionTest, PermissionProblemIsReportedOncePerAttachment) {
    env.status[6] = PortStatus::kBusy;
    env.refused.insert(6);
    env.status[8] = PortStatus::kBusy; // held by another program: nothing to report
    EXPECT_EQ(Pass(), (Events{"refused 6", "Progress: No scanner attached"}));
    EXPECT_EQ(Pass(), Events{"Progress: No scanner attached"});

    env.status.erase(6);
    (void)Pass();
    env.status[6] = PortStatus::kBusy;
    EXPECT_EQ(Pass().front(), "refused 6") << "plugged in again: told again";
}

TEST_F(DetectionTest, CommSettingRestrictsTheRangeAndTheWedgeOwnsTheStatusLine) {
    test::WriteTextFile(dir / "Tallybird.ini", "[Settings]\ncomm=5\n");
    env.status[4] = PortStatus::kAvailable;
    env.replies[4] = "Kivo";
    env.wedge = true;
    EXPECT_EQ(Pass(), (Events{"Progress: Keyboard Wedge Mode"}));
}

TEST_F(DetectionTest, PassesNeverOverlap) {
    class Reentrant : public RecordingEnvironment {
    public:
        Detector* detector = nullptr;
        bool nested = true;
        void RunSession(int port) override {
            nested = detector->RunPass(*this); // a timer tick during the session
            RecordingEnvironment::RunSession(port);
        }
    } reentrant;
    reentrant.detector = &detector;
    reentrant.status[9] = PortStatus::kAvailable;
    reentrant.replies[9] = "Kivo";
    EXPECT_TRUE(detector.RunPass(reentrant));
    EXPECT_FALSE(reentrant.nested);
    EXPECT_TRUE(detector.RunPass(reentrant)) << "free again afterwards";
}

} // namespace
} // namespace tallybird
