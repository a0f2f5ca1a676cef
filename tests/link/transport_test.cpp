#include "fake_serial_port.h"
#include "link/transport.h"

#include <gtest/gtest.h>

namespace tallybird::test {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

class TransportTest : public ::testing::Test {
protected:
    TransportTest() { port.Open(); }

    // Every command is answered with these chunks.
    void Answer(std::vector<Bytes> chunks) {
        port.responder = [chunks](const Bytes&) { return chunks; };
    }

    FakeClock clock;
    FakeSerialPort port{clock};
    Transport link{port, clock};
};

TEST_F(TransportTest, FramesTheCommandWithOneCarriageReturn) {
    const Bytes command = {'W', 'R', 0, 13, 255, 1};
    (void)link.SendCommand(command);
    ASSERT_EQ(port.written.size(), 1u);
    EXPECT_EQ(port.written[0], Join({command, {13}}));
}

TEST_F(TransportTest, EfAndDlWithoutReplySucceedAfterTwoSeconds) {
    for (const char* code : {"EF", "DL"}) {
        const auto before = clock.Elapsed();
        const CommandResult result = link.SendCommand(code);
        EXPECT_FALSE(result.failed) << code;
        EXPECT_EQ(result.reason, FailReason::kTimeLimit) << code;
        EXPECT_EQ(clock.Elapsed() - before, seconds(2)) << code;
    }
    // With argument bytes "EF" is another text: it fails.
    EXPECT_TRUE(link.SendCommand(Bytes{'E', 'F', 1}).failed);
}

TEST_F(TransportTest, TimeLimitsOnTheInjectedClock) {
    EXPECT_TRUE(link.SendCommand("UP").failed);
    EXPECT_EQ(clock.Elapsed(), seconds(600));
    EXPECT_TRUE(link.SendCommand("CE").failed);
    EXPECT_EQ(clock.Elapsed(), seconds(610));
    EXPECT_TRUE(link.SendCommand("SN").failed);
    EXPECT_EQ(clock.Elapsed(), seconds(612));
    EXPECT_TRUE(link.SendCommand(Bytes{'C', 'E', 0}).failed);
    EXPECT_EQ(clock.Elapsed(), seconds(614));
}

TEST_F(TransportTest, UpWithArgumentBytesGetsTwoSecondsAndNoRule) {
    Answer({Join({Repeat(7, 14), Repeat(255, 6)})});
    const CommandResult result = link.SendCommand(Bytes{'U', 'P', 1});
    EXPECT_TRUE(result.failed);
    EXPECT_EQ(clock.Elapsed(), seconds(2));
    EXPECT_EQ(link.ReplyLength(), 20);
}

TEST_F(TransportTest, ExactByteCounts) {
    Answer({{72, 1}});
    EXPECT_FALSE(link.SendCommand("VR").failed);
    EXPECT_EQ(link.ReplyLength(), 2);

    Answer({{72, 1, 0}});
    EXPECT_TRUE(link.SendCommand("VR").failed);

    // Past the count the reply turns back to incomplete.
    Answer({{1}, {2, 3, 4}});
    EXPECT_TRUE(link.SendCommand("SN").failed);

    // "VR" with an argument byte matches no row.
    Answer({{72, 1}});
    EXPECT_TRUE(link.SendCommand(Bytes{'V', 'R', 0}).failed);
}

TEST_F(TransportTest, RowsMatchedOnTheFirstTwoCharacters) {
    Answer({Repeat(9, 32)});
    EXPECT_FALSE(link.SendCommand(Bytes{'R', 'D', 31, 224, 0}).failed);
    Answer({{'Z', 1, 2}});
    EXPECT_FALSE(link.SendCommand(Bytes{'S', 'E', 31, 160, 0}).failed);
    Answer({{'Y'}});
    EXPECT_TRUE(link.SendCommand(Bytes{'W', 'R', 0, 0, 0, 1, 2, 3, 4, 5, 6, 7}).failed);
    Answer({{1}});
    EXPECT_FALSE(link.SendCommand("LP").failed);
}

TEST_F(TransportTest, ScTerminatorSplitOverTwoChunksCompletesOnTheSecond) {
    Answer({Join({Repeat(1, 6), Repeat(255, 4)}), Repeat(255, 2)});
    const CommandResult result = link.SendCommand("SC");
    EXPECT_FALSE(result.failed);
    EXPECT_EQ(link.ReplyLength(), 12);
    EXPECT_LT(clock.Elapsed(), milliseconds(100));
}

TEST_F(TransportTest, ScWithFewerThanSixTerminatorBytesFails) {
    Answer({Join({Repeat(1, 6), Repeat(255, 5)})});
    EXPECT_TRUE(link.SendCommand("SC").failed);
    EXPECT_EQ(clock.Elapsed(), seconds(2));
}

TEST_F(TransportTest, TrailingBytesAfterTheTerminatorFail) {
    // The chunk's last byte 255 is the stray one: the six before it are not
    // all 255, so the reply is not complete.
    Answer({Join({Repeat(1, 6), Repeat(255, 6), {7, 255}})});
    EXPECT_TRUE(link.SendCommand("SC").failed);
    // Trailing bytes without a 255 in the same chunk as the terminator: the
    // terminator must end the reply.
    Answer({Join({Repeat(1, 6), Repeat(255, 5)}), {255, 7}});
    EXPECT_TRUE(link.SendCommand("SC").failed);
    Answer({Join({Repeat(1, 6), Repeat(255, 6), {7}})});
    EXPECT_TRUE(link.SendCommand("SC").failed);
}

TEST_F(TransportTest, BytesReceivedWhileIdleAreDropped) {
    port.Arrived({'Z', 'Z', 'Z'});
    Answer({{72, 1}});
    EXPECT_FALSE(link.SendCommand("VR").failed);
    EXPECT_EQ(link.ReplyLength(), 2);
    EXPECT_EQ(link.Reply()[0], 72);
}

TEST_F(TransportTest, FirstUploadCaptionOnlyPastFiveHundredBytes) {
    std::vector<std::string> captions;
    link.SetCaptionSink([&](const std::string& c) { captions.push_back(c); });
    Answer({Repeat(1, 500), Repeat(1, 1), Repeat(1, 999), Repeat(1, 1000),
            Join({Repeat(1, 4), Repeat(255, 6)})});
    EXPECT_FALSE(link.SendCommand("UP").failed);
    // 500 -> 0 (not shown), 501 -> 1, 1500 -> 2 (half to even), 2500 -> 2
    // (unchanged), 2510 -> 3.
    EXPECT_EQ(captions,
              (std::vector<std::string>{"Progress: Uploading:- 1", "Progress: Uploading:- 2",
                                        "Progress: Uploading:- 3"}));
}

struct Progress {
    int done;
    int total;
    bool operator==(const Progress&) const = default;
};

TEST_F(TransportTest, UpReportsBytesAgainstTheFullReadBackAndClosesAtItsEnd) {
    std::vector<Progress> reports;
    link.SetProgressSink([&](int done, int total) { reports.push_back({done, total}); });
    // Two records, then the second chunk brings one more and the terminator.
    Answer({Repeat(1, 14), Join({Repeat(1, 7), Repeat(255, 6)})});
    EXPECT_FALSE(link.SendCommand("UP").failed);
    constexpr int kFull = 250'001 * 7 + 6;
    EXPECT_EQ(reports, (std::vector<Progress>{{14, kFull}, {27, kFull}, {27, 27}}));
}

TEST_F(TransportTest, AnUnansweredUpStillClosesItsProgress) {
    std::vector<Progress> reports;
    link.SetProgressSink([&](int done, int total) { reports.push_back({done, total}); });
    EXPECT_TRUE(link.SendCommand("UP").failed);
    EXPECT_EQ(reports, (std::vector<Progress>{{0, 0}}));
}

TEST_F(TransportTest, AnOverlongUpNeverReportsPastTheFullSize) {
    std::vector<Progress> reports;
    link.SetProgressSink([&](int done, int total) { reports.push_back({done, total}); });
    Answer(std::vector<Bytes>(40, Repeat(1, 60'000))); // 2.4 MB, no terminator
    EXPECT_TRUE(link.SendCommand("UP").failed);
    ASSERT_GE(reports.size(), 2u);
    for (std::size_t i = 0; i + 1 < reports.size(); ++i) {
        EXPECT_LE(reports[i].done, reports[i].total);
        EXPECT_EQ(reports[i].total, 250'001 * 7 + 6);
    }
    EXPECT_EQ(reports.back().done, reports.back().total);
}

TEST_F(TransportTest, NoCaptionOrProgressOutsideUp) {
    int progress = 0;
    link.SetProgressSink([&](int, int) { ++progress; });
    int captions = 0;
    link.SetCaptionSink([&](const std::string&) { ++captions; });
    Answer({Join({Repeat(1, 5000), Repeat(255, 6)})});
    EXPECT_FALSE(link.SendCommand("SC").failed);
    EXPECT_EQ(captions, 0);
    EXPECT_EQ(progress, 0);
}

TEST_F(TransportTest, OverlongReplyFailsAtOnceWithoutCrash) {
    std::vector<Bytes> chunks(40, Repeat(1, 60'000)); // 2.4 MB, no terminator
    Answer(chunks);
    const auto* buffer = link.WholeReplyBuffer().data();
    const CommandResult result = link.SendCommand("UP");
    EXPECT_TRUE(result.failed);
    EXPECT_EQ(result.reason, FailReason::kOverflow);
    EXPECT_EQ(static_cast<std::size_t>(link.ReplyLength()), kReplyBufferCells);
    EXPECT_LT(clock.Elapsed(), seconds(1));
    // The buffer is the one allocated at the start, at its full size.
    EXPECT_EQ(link.WholeReplyBuffer().data(), buffer);
    EXPECT_EQ(link.WholeReplyBuffer().size(), kReplyBufferCells);
    // The rest, arriving while the link is idle, is dropped before the next
    // command.
    clock.Advance(seconds(1));
    Answer({{72, 1}});
    EXPECT_FALSE(link.SendCommand("VR").failed);
}

TEST_F(TransportTest, FullListReplyFitsTheBuffer) {
    std::vector<Bytes> chunks(437, Repeat(3, 4004)); // 1,749,748 bytes
    chunks.push_back(Join({Repeat(3, 259), Repeat(255, 6)}));
    Answer(chunks);
    EXPECT_FALSE(link.SendCommand("UP").failed);
    EXPECT_EQ(link.ReplyLength(), 1'750'013);
}

TEST_F(TransportTest, DeviceGoneMidCommandFailsAtOnce) {
    Answer({{1, 2}});
    port.breakWhenIdle = true;
    const CommandResult result = link.SendCommand("TN");
    EXPECT_TRUE(result.failed);
    EXPECT_EQ(result.reason, FailReason::kPortError);
    EXPECT_LT(clock.Elapsed(), seconds(1));
    // A closed port fails the next command at once, "EF" excepted.
    EXPECT_EQ(link.SendCommand("SN").reason, FailReason::kPortError);
    EXPECT_FALSE(link.SendCommand("EF").failed);
}

TEST(CompletionTable, RulesAndLimits) {
    const auto rule = [](std::string_view text) {
        return CompletionRuleFor(
            ByteView(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    };
    EXPECT_EQ(rule("UP").kind, CompletionKind::kTerminator);
    EXPECT_EQ(rule("UPx").kind, CompletionKind::kNever);
    EXPECT_EQ(rule("PA").length, 5u);
    EXPECT_EQ(rule("RDabc").length, 32u);
    EXPECT_EQ(rule("LP").kind, CompletionKind::kAnyData);
    EXPECT_EQ(rule("XX").kind, CompletionKind::kNever);
    EXPECT_EQ(TimeLimitFor(Text("UP")), seconds(600));
    EXPECT_EQ(TimeLimitFor(Text("CE")), seconds(10));
    EXPECT_EQ(TimeLimitFor(Text("UP ")), seconds(2));
}

} // namespace
} // namespace tallybird::test
