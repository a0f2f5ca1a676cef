#include "runtime/keyboard_wedge.h"

#include "../link/fake_serial_port.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tallybird {
namespace {

using namespace std::string_literals;

struct BufferCase {
    const char* name;
    std::vector<std::string> reads; // one per tick
    std::vector<WedgeChip> chips;   // handed over, in order
    std::string pending;            // left for the next tick
};

TEST(WedgeBuffer, TypesUpToTheLastCrAndKeepsTheRest) {
    const std::vector<BufferCase> cases = {
        {"chip and CR in one read",
         {"826000000000002\r"},
         {{"826000000000002", "826000000000002\r"}},
         ""},
        {"split over ticks",
         {"8260000", "00000002", "\r"},
         {{"826000000000002", "826000000000002\r"}},
         ""},
        {"no CR waits", {"826000"}, {}, "826000"},
        {"leading NUL dropped",
         {"\0"s + "826000000000002\r"},
         {{"826000000000002", "826000000000002\r"}},
         ""},
        {"NUL in the middle cuts off from it on",
         {"8260\0"s + "0002\r", "\r"},
         {{"8260", "8260\r"}},
         ""},
        {"two chips in one read", {"111\r222\r"}, {{"111\r222", "111\r222\r"}}, ""},
        {"text after the CR starts the next chip",
         {"111\r22", "2\r"},
         {{"111", "111\r"}, {"222", "222\r"}},
         ""},
        {"endless text keeps only its tail",
         {std::string(5000, 'x') + "12"},
         {},
         std::string(WedgeBuffer::kMaxPending - 2, 'x') + "12"},
    };
    for (const BufferCase& c : cases) {
        WedgeBuffer buffer;
        std::vector<WedgeChip> chips;
        for (const std::string& read : c.reads) {
            if (auto chip = buffer.Append(read)) {
                chips.push_back(*chip);
            }
        }
        EXPECT_EQ(chips, c.chips) << c.name;
        EXPECT_EQ(buffer.Pending(), c.pending) << c.name;
    }
}

TEST(WedgeEndCharacter, KeepsItsVirtualKeyMeaning) {
    const std::vector<std::pair<int, Keysym>> cases = {
        {8, 0xff08},      {9, 0xff09},      {13, 0xff0d},  {27, 0xff1b},  {32, ' '},
        {48, '0'},        {57, '9'},        {65, 'A'},     {90, 'Z'},     {96, 0xffb0},
        {105, 0xffb9},    {106, 0xffaa},    {107, 0xffab}, {109, 0xffad}, {111, 0xffaf},
        {112, 0xffbe},    {135, 0xffd5},    {59, ';'},     {233, 0xe9},   {128, 0xffce},
        {136, 0x10002c6}, {150, 0x1002013}, {1, 0},        {0, 0xff0d},   {300, 0xff0d},
    };
    for (const auto& [code, keysym] : cases) {
        EXPECT_EQ(KeysymOfEndChar(code), keysym) << "code " << code;
    }
    // A received lowercase letter is itself, not a keypad key.
    EXPECT_EQ(KeysymOfCharacter('a'), Keysym{'a'});
    EXPECT_EQ(KeysymOfCharacter('\r'), Keysym{0xff0d});
    EXPECT_EQ(KeysymOfCharacter('\n'), Keysym{0});
}

TEST(WedgeEndCharacter, SetupEntryRoundsHalvesToEvenAndFallsBackTo13) {
    const std::vector<std::pair<const char*, int>> cases = {
        {"0", 13},   {"300", 13},  {"abc", 13}, {"", 13},      {"-5", 13},   {"1e400", 13},
        {"9.5", 10}, {"10.5", 10}, {"9", 9},    {"12abc", 12}, {" 32 ", 32}, {"255.4", 255},
    };
    for (const auto& [entry, code] : cases) {
        EXPECT_EQ(WedgeEndCharFromEntry(entry), code) << '"' << entry << '"';
    }
}

// Writes down every keysym it is asked to type.
class RecordingSender final : public KeySender {
public:
    explicit RecordingSender(std::vector<Keysym>& typed) : typed_(typed) {}
    bool Type(Keysym keysym) override {
        typed_.push_back(keysym);
        return true;
    }
    std::string Name() const override { return "recording"; }

private:
    std::vector<Keysym>& typed_;
};

class KeyboardWedgeTest : public testing::Test {
protected:
    test::FakeClock clock;
    test::FakeSerialPort port{clock};
    SharedState state;
    std::vector<Keysym> typed;
    std::vector<std::string> captions;
    std::vector<std::string> notices;
    std::vector<std::chrono::milliseconds> pauses;
    bool canType = true;
    int delay = 0;
    KeyboardWedge wedge{{
        .port = port,
        .state = state,
        .keyDelay = [this] { return delay; },
        .openSender =
            [this] {
                KeySenderChoice choice;
                if (canType) {
                    choice.sender = std::make_unique<RecordingSender>(typed);
                } else {
                    choice.why = "no X display";
                }
                return choice;
            },
        .pause = [this](std::chrono::milliseconds d) { pauses.push_back(d); },
        .showCaption = [this](const std::string& c) { captions.push_back(c); },
        .keystrokesUnavailable = [this](const std::string& why) { notices.push_back(why); },
    }};

    void SetUp() override { state.wedgeActive = true; }
};

std::vector<Keysym> Keys(std::string_view text) {
    return std::vector<Keysym>(text.begin(), text.end());
}

TEST_F(KeyboardWedgeTest, TypesEachChipThenTheEndCharacterWithThePauseBetweenKeys) {
    state.wedgeEndChar = 9;
    delay = 250; // beyond the limit: 100 ms
    ASSERT_TRUE(wedge.Start("/dev/ttyUSB0"));
    port.Arrived(test::Text("8260000"));
    wedge.Tick();
    EXPECT_TRUE(typed.empty());
    port.Arrived(test::Text("00000002\r"));
    wedge.Tick();
    std::vector<Keysym> expected = Keys("826000000000002");
    expected.push_back(0xff09); // Tab
    EXPECT_EQ(typed, expected);
    EXPECT_EQ(captions, std::vector<std::string>{"826000000000002\r"});
    EXPECT_EQ(pauses, std::vector<std::chrono::milliseconds>(15, std::chrono::milliseconds(100)));

    // The end character counts from the next chip on.
    typed.clear();
    state.wedgeEndChar = 13;
    port.Arrived(test::Text("9\r"));
    wedge.Tick();
    EXPECT_EQ(typed, (std::vector<Keysym>{'9', 0xff0d}));
}

TEST_F(KeyboardWedgeTest, StoppedOrInactiveWedgeReadsNothing) {
    ASSERT_TRUE(wedge.Start("/dev/ttyUSB0"));
    state.wedgeActive = false;
    port.Arrived(test::Text("1\r"));
    wedge.Tick();
    EXPECT_TRUE(typed.empty());
    EXPECT_GT(port.BytesWaiting(), 0u);
    state.wedgeActive = true;
    wedge.Stop();
    EXPECT_FALSE(port.IsOpen());
    wedge.Tick();
    EXPECT_TRUE(typed.empty());

    port.canOpen = false;
    EXPECT_FALSE(wedge.Start("/dev/ttyUSB0"));
    EXPECT_FALSE(wedge.Running());
}

TEST_F(KeyboardWedgeTest, WithoutAWayToTypeItSaysWhyOnceAndShowsNoChip) {
    canType = false;
    ASSERT_TRUE(wedge.Start("/dev/ttyUSB0"));
    port.Arrived(test::Text("826000000000002\r"));
    wedge.Tick();
    EXPECT_TRUE(captions.empty()); // the status line keeps "Keyboard Wedge Mode"
    EXPECT_EQ(state.KeystrokePath(), "none: no X display");
    ASSERT_TRUE(wedge.Start("/dev/ttyUSB0"));
    EXPECT_EQ(notices, std::vector<std::string>{"no X display"});

    // A later start that can type does so.
    canType = true;
    ASSERT_TRUE(wedge.Start("/dev/ttyUSB0"));
    port.Arrived(test::Text("5\r"));
    wedge.Tick();
    EXPECT_EQ(typed, (std::vector<Keysym>{'5', 0xff0d}));
    EXPECT_EQ(state.KeystrokePath(), "recording");
}

} // namespace
} // namespace tallybird
