#include "runtime/detection.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <map>

namespace tallybird {
namespace {

// Ports as a table the test sets; every call is written down in order.
class RecordingEnvironment : public DetectionEnvironment {
public:
    std::map<int, PortStatus> status;   // absent unless listed
    std::map<int, std::string> replies; // probe replies
    double serviceTime = 1733875200;
    bool wedge = false;
    std::vector<std::string> events;

    PortStatus PortStatusOf(int port) override {
        const auto it = status.find(port);
        return it == status.end() ? PortStatus::kAbsent : it->second;
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
    Detector detector{settings};
    RecordingEnvironment env;

    std::vector<std::string> Pass() {
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
    Detector restarted{settings};
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

TEST_F(DetectionTest, RepliesWithoutKivoAreProbedAgainAndBusyPortsWait) {
    env.status[2] = PortStatus::kAvailable;
    env.replies[2] = "ATZ";
    env.status[4] = PortStatus::kBusy;
    EXPECT_EQ(Pass(), (Events{"probe 2", "Progress: No scanner attached"}));
    EXPECT_EQ(detector.StateOf(2), PortState::kUnknown);
    EXPECT_EQ(detector.StateOf(4), PortState::kBusy);
    EXPECT_EQ(Pass().front(), "probe 2");

    env.status.erase(4);
    EXPECT_EQ(Pass(), (Events{"probe 2", "gone 4", "Progress: No scanner attached"}));
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
