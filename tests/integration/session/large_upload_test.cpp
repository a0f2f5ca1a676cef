// A scanner whose scan log is full: one session uploads every chip in one
// request, in scan order, and clears the log.
#include "support/session_rig.h"

#include <QJsonArray>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

namespace tallybird::test {
namespace {

// The scan log is four 4096-byte sectors of 6-byte records.
constexpr int kFullScanLog = 4 * 4096 / 6;

// Chips that differ in country code and in every group of digits, so a chip
// lost, repeated or out of place shows in the body. Country codes start at 4:
// 0..3 are shown in hexadecimal.
std::vector<std::string> ManyChips(int count) {
    std::vector<std::string> chips;
    for (int k = 0; k < count; ++k) {
        char text[32];
        std::snprintf(text, sizeof text, "%03d%012lld", 4 + k % 996, 100000000000LL + 7919LL * k);
        chips.emplace_back(text);
    }
    return chips;
}

TEST(LargeUpload, AFullScanLogGoesUpInOneRequestAndIsCleared) {
    SessionRig rig(R"({"time": 1765350000, "countries": {"1": {"lost": []}}})");
    const std::vector<std::string> chips = ManyChips(kFullScanLog);
    QStringList options;
    std::string expected = "serial number=66051|";
    for (const std::string& chip : chips) {
        options << "--scan" << QString::fromStdString(chip);
        expected += chip + "|";
    }
    rig.PlugScanner(options);
    ASSERT_EQ(rig.Scanner().Dump().value("scanLog").toArray().size(), kFullScanLog);

    RecordingObserver observer;
    const SessionEnd end = rig.Run(observer);
    for (const std::string& message : observer.messages) {
        ADD_FAILURE() << message;
    }
    ASSERT_EQ(end, SessionEnd::Orderly);

    const std::vector<std::string> bodies = UploadBodies(rig.Service().State());
    ASSERT_EQ(bodies.size(), 1u);
    const auto [sent, wanted] =
        std::mismatch(bodies[0].begin(), bodies[0].end(), expected.begin(), expected.end());
    EXPECT_TRUE(sent == bodies[0].end() && wanted == expected.end())
        << "the body differs from the scan log at byte " << sent - bodies[0].begin() << ": \""
        << std::string(sent, sent + std::min<std::ptrdiff_t>(40, bodies[0].end() - sent))
        << "\" instead of \""
        << std::string(wanted, wanted + std::min<std::ptrdiff_t>(40, expected.end() - wanted))
        << "\"";
    EXPECT_TRUE(rig.Scanner().Dump().value("scanLog").toArray().isEmpty());
    EXPECT_FALSE(std::filesystem::exists(rig.dataFolder() / "TBM00066051.err"));
}

// The scan-log record of a 15-digit chip: national number low byte first,
// then its top six bits with the country code's low two bits, then the
// country code's upper eight bits.
Bytes ScanRecord(const std::string& chip) {
    const unsigned country = static_cast<unsigned>(std::stoul(chip.substr(0, 3)));
    const unsigned long long national = std::stoull(chip.substr(3));
    return {static_cast<std::uint8_t>(national & 0xFF),
            static_cast<std::uint8_t>((national >> 8) & 0xFF),
            static_cast<std::uint8_t>((national >> 16) & 0xFF),
            static_cast<std::uint8_t>((national >> 24) & 0xFF),
            static_cast<std::uint8_t>(((national >> 32) & 0x3F) | ((country % 4) << 6)),
            static_cast<std::uint8_t>(country / 4)};
}

// The most chips the program's tables take in one session, more than the
// simulated scanner's four sectors hold: a scanner that answers from a table
// sends them, and all of them reach the service in one request.
TEST(LargeUpload, TheLargestScanLogTheTablesTakeGoesUpWhole) {
    SessionRig rig(R"({"time": 1765350000, "countries": {"1": {"lost": []}}})");
    const std::vector<std::string> chips = ManyChips(3100);
    Bytes scanLog;
    std::string expected = "serial number=66051|";
    for (const std::string& chip : chips) {
        const Bytes record = ScanRecord(chip);
        scanLog.insert(scanLog.end(), record.begin(), record.end());
        expected += chip + "|";
    }
    scanLog.insert(scanLog.end(), 6, 255);
    ScriptedLink link;
    link.replies = {{"SN", {1, 2, 3}}, {"VR", {'W', 2}},      {"TN", {0, 0, 0, 0}},
                    {"SC", scanLog},   {"UP", Bytes(6, 255)}, {"RD", Bytes(32, 255)}};
    RecordingObserver observer;
    ASSERT_EQ(rig.RunOn(link, observer), SessionEnd::Orderly)
        << (observer.messages.empty() ? "" : observer.messages[0]);
    const std::vector<std::string> bodies = UploadBodies(rig.Service().State());
    ASSERT_EQ(bodies.size(), 1u);
    EXPECT_EQ(bodies[0].size(), expected.size());
    EXPECT_TRUE(bodies[0] == expected);
    EXPECT_NE(std::find(link.sent.begin(), link.sent.end(), "CC"), link.sent.end())
        << "uploaded, then cleared";
}

} // namespace
} // namespace tallybird::test
