// The scanner simulator's memory model and framing, without a pty.
#include "flash_memory.h"
#include "scanner_model.h"
#include "sim_codecs.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <utility>

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

// The simulator writes chips into records with its own code: a fault there
// would go unseen by the link tests, which read the records back through the
// program's decoder.
TEST(SimRecords, ChipTextsAndTheirRecords) {
    struct Case {
        const char* chip;
        Bytes list; // the 7-byte list record, attribute 9
        Bytes scan; // the 6-byte scan log record
        const char* readBack;
    };
    const Case cases[] = {
        // The all-zero chip keeps a 0 in the list record's first byte.
        {"000000000000000", {0, 0, 0, 0, 0, 0, 9}, {0, 0, 0, 0, 0, 255}, "000000000000000"},
        // Codes 0..3 otherwise store 255 there, which reads as 0.
        {"001000000000005", {255, 64, 0, 0, 0, 5, 9}, {5, 0, 0, 0, 64, 255}, "001000000000005"},
        // ... so code 3 with the highest national number fills a list record
        // with 255 throughout, as erased memory does.
        {"003274877906943",
         {255, 255, 255, 255, 255, 255, 9},
         {255, 255, 255, 255, 255, 255},
         "003274877906943"},
        {"985123456789012",
         {0xF6, 0x5C, 0xBE, 0x99, 0x1A, 0x14, 9},
         {0x14, 0x1A, 0x99, 0xBE, 0x5C, 0xF6},
         "985123456789012"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chip);
        EXPECT_EQ(ListRecordFor(c.chip, 9), c.list);
        EXPECT_EQ(ScanRecordFor(c.chip), c.scan);
        EXPECT_EQ(ChipTextOfScanRecord(c.scan), c.readBack);
    }
    // Codes of four digits come only as raw records: the highest one a record
    // holds apart from the erased byte, and 1020..1023, whose high byte of
    // 255 reads as 0 like that of codes 0..3.
    EXPECT_EQ(ChipTextOfScanRecord(Bytes{255, 255, 255, 255, 255, 254}), "1019274877906943");
    EXPECT_EQ(ChipTextOfScanRecord(Bytes{0, 0, 0, 0, 192, 255}), "003000000000000");
}

TEST(SimCodecs, QueryValuesAndWindows1252) {
    // UTF-8 in, Windows-1252 bytes percent-encoded out; and back.
    const std::string text = "Zo\xC3\xAB M\xC3\xBCller-\xE2\x82\xAC & \xE6\x97\xA5";
    const std::string encoded = QueryValueOf(text);
    EXPECT_EQ(encoded, "Zo%EB+M%FCller%2D%80+%26+%3F");
    EXPECT_EQ(Utf8FromWindows1252(QueryValueBytes(encoded)),
              "Zo\xC3\xAB M\xC3\xBCller-\xE2\x82\xAC & ?");
    // Lower-case hex reads too; a "%" too near the end stays; a bad escape
    // empties the value.
    EXPECT_EQ(QueryValueBytes("a%e9%2"), (Bytes{'a', 0xE9, '%', '2'}));
    EXPECT_EQ(QueryValueBytes("a%zz"), Bytes{});
    // The five undefined bytes stand for the C1 controls of the same value.
    EXPECT_EQ(Utf8FromWindows1252(Bytes{0x81, 0x8D, 0x9F, 0xFF}),
              "\xC2\x81\xC2\x8D\xC5\xB8\xC3\xBF");
    // A malformed sequence becomes '?'.
    EXPECT_EQ(Windows1252FromUtf8("a\xC3(\xE9"), (Bytes{'a', '?', '(', '?'}));
}

TEST(SimCodecs, Numbers) {
    const std::pair<const char*, double> read[] = {
        {"604 173", 604173}, {"-5\n", -5},    {"12abc", 12},
        {"<html>", 0},       {"1.5e3", 1500}, {"2D2", 200},
        {"+7.", 7},          {"", 0},         {".5", 0.5},
        {"-.", 0},           {"3e", 3},       {"1e+2x", 100},
        {"1e999", HUGE_VAL}, {"1e-999", 0.0}, {"1700000000", 1700000000}};
    for (const auto& [text, value] : read) {
        EXPECT_EQ(NumberIn(text), value) << text;
    }
    EXPECT_EQ(WholeNumberIn(" 8080 "), 8080.0);
    EXPECT_EQ(WholeNumberIn("80a"), std::nullopt);
    EXPECT_EQ(WholeNumberIn("-"), std::nullopt);
    EXPECT_EQ(NumberText(1700000000), "1700000000");
    EXPECT_EQ(NumberText(985000000000001.0), "985000000000001");
    EXPECT_EQ(NumberText(-0.25), "-0.25");
    EXPECT_EQ(ChipText(7, 42), "007000000000042");
    EXPECT_EQ(PlainVersionOf(" 2.6\r\n"), "2.6");
    for (const char* bad : {"", "2.", ".2", "2..6", "2.6b", "v2"}) {
        EXPECT_EQ(PlainVersionOf(bad), std::nullopt) << bad;
    }
}

} // namespace
} // namespace tallybird::sim
