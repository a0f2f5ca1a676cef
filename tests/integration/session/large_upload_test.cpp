// A scanner whose scan log is full: one session uploads every chip in one
// request, in scan order, and clears the log.
#include "session_rig.h"

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

} // namespace
} // namespace tallybird::test
