// The scanner simulator's memory model and framing, without a pty.
#include "flash_memory.h"
#include "scanner_model.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace tallybird::sim {
namespace {

TEST(SimFlash, EraseSetsTheWholeSectorTo255) {
    FlashMemory memory(8 * 65536);
    memory.Load(4095, Bytes(3, 0));
    memory.EraseSector(4096 + 17);
    EXPECT_EQ(memory.At(4095), 0);
    EXPECT_EQ(memory.At(4096), 255);
    EXPECT_EQ(memory.At(4097), 255);
}

TEST(SimFlash, ProgramAndsIntoMemory) {
    FlashMemory memory(8 * 65536);
    memory.Program(10, Bytes{0xF0});
    memory.Program(10, Bytes{0x3C});
    EXPECT_EQ(memory.At(10), 0x30);
    memory.EraseSector(0);
    EXPECT_EQ(memory.At(10), 0xFF);
}

TEST(SimFlash, ProgramWrapsInsideItsPage) {
    FlashMemory memory(8 * 65536);
    memory.Program(254, Bytes{1, 2, 3, 4});
    EXPECT_EQ(memory.At(254), 1);
    EXPECT_EQ(memory.At(255), 2);
    EXPECT_EQ(memory.At(0), 3);
    EXPECT_EQ(memory.At(1), 4);
    EXPECT_EQ(memory.At(256), 255);
}

Bytes Cmd(std::string_view code, const Bytes& args) {
    Bytes b;
    for (char c : code) {
        b.push_back(static_cast<std::uint8_t>(c));
    }
    for (std::uint8_t a : args) {
        b.push_back(a);
    }
    b.push_back(13);
    return b;
}

ScannerConfig Version(const char* version) {
    ScannerConfig config;
    config.version = version;
    return config;
}

TEST(SimModel, MemorySizeByVersion) {
    EXPECT_EQ(ScannerModel(Version("H1")).Memory().Size(), 8u * 65536);
    EXPECT_EQ(ScannerModel(ScannerConfig{}).Memory().Size(), 32u * 65536);
}

TEST(SimModel, ArgumentBytesMayBeCarriageReturns) {
    ScannerModel model(ScannerConfig{});
    std::vector<std::string> log;
    model.logSink = [&](const std::string& line) { log.push_back(line); };
    auto replies = model.Feed(Cmd("WR", {0, 1, 13, 13, 13, 13, 13, 13, 13, 13}));
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].bytes, Bytes{'Z'});
    EXPECT_EQ(model.Memory().At(256 + 13), 13);
    EXPECT_EQ(model.Memory().At(256 + 19), 13);
    EXPECT_EQ(model.Memory().At(256 + 20), 255);
    EXPECT_EQ(log, std::vector<std::string>{"WR 00 01 0D 0D 0D 0D 0D 0D 0D 0D"});
    // Two commands in one chunk, an address with a CR in it.
    replies = model.Feed(Cmd("RD", {0, 1, 13}));
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].bytes.size(), 32u);
    EXPECT_EQ(replies[0].bytes[0], 13);
}

TEST(SimModel, ListAndScanLogReplies) {
    ScannerModel model(ScannerConfig{});
    model.Memory().Load(0, ListRecordFor("985000000000001", 3));
    model.Scan(ScanRecordFor("013000000000001"));
    auto replies = model.Feed(Cmd("UP", {}));
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].bytes, (Bytes{246, 64, 0, 0, 0, 1, 3, 255, 255, 255, 255, 255, 255}));
    replies = model.Feed(Cmd("SC", {}));
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].bytes, (Bytes{1, 0, 0, 0, 64, 3, 255, 255, 255, 255, 255, 255}));
    // Erasing the scan log's first sector empties it.
    replies = model.Feed(Cmd("SE", {31, 160, 0}));
    EXPECT_EQ(model.Feed(Cmd("SC", {}))[0].bytes, Bytes(6, 255));
}

TEST(SimModel, AFullScanLogReadsBackRecordForRecord) {
    ScannerModel model(ScannerConfig{});
    Bytes expected;
    // Four 4096-byte sectors of 6-byte records: every 43rd crosses a page.
    for (int k = 0; k < 4 * 4096 / 6; ++k) {
        char chip[32];
        std::snprintf(chip, sizeof chip, "%03d%012d", 4 + k % 996, 100000 + 7919 * k);
        const Bytes record = ScanRecordFor(chip);
        model.Scan(record);
        expected.insert(expected.end(), record.begin(), record.end());
    }
    model.Scan(ScanRecordFor("985000000000001")); // no room left: not kept
    expected.insert(expected.end(), 6, 255);
    const auto replies = model.Feed(Cmd("SC", {}));
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_TRUE(replies[0].bytes == expected);
    EXPECT_EQ(model.Memory().At(model.ScanLogStart() + 4 * 4096), 255)
        << "the organisation area after the log is untouched";
}

TEST(SimModel, AOneLetterCommandIsLoggedAndNotAnswered) {
    ScannerModel model(ScannerConfig{});
    std::vector<std::string> log;
    model.logSink = [&](const std::string& line) { log.push_back(line); };
    EXPECT_TRUE(model.Feed(Cmd("X", {})).empty());
    // A lone letter that is never followed by anything ends when the line
    // goes quiet.
    EXPECT_TRUE(model.Feed(Bytes{'Y'}).empty());
    EXPECT_TRUE(model.IdleFlush().empty());
    EXPECT_EQ(model.Feed(Cmd("SN", {})).size(), 1u);
    EXPECT_EQ(log, (std::vector<std::string>{"X", "Y", "SN"}));
}

TEST(SimModel, FaultsAndMalformedCommands) {
    ScannerConfig config;
    config.stopAfter = 2;
    config.shortReply = {"VR"};
    ScannerModel model(config);
    EXPECT_EQ(model.Feed(Cmd("VR", {}))[0].bytes, Bytes{'W'});
    EXPECT_TRUE(model.Feed(Cmd("UP", {1})).empty()); // not counted, not answered
    EXPECT_EQ(model.Feed(Cmd("SN", {})).size(), 1u);
    EXPECT_TRUE(model.Feed(Cmd("SN", {})).empty()); // third command: silent
}

} // namespace
} // namespace tallybird::sim
