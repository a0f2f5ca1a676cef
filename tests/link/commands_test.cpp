#include "fake_serial_port.h"
#include "link/commands.h"
#include "link/transport_link.h"
#include "model/scanner_memory.h"

#include <gtest/gtest.h>

namespace tallybird::test {
namespace {

TEST(CommandSet, VersionText) {
    EXPECT_EQ(VersionText(72, 1), "H1");
    EXPECT_EQ(VersionText(87, 2), "W2");
    EXPECT_EQ(VersionText(87, 12), "W12");
}

TEST(CommandSet, MemoryGeometryByVersion) {
    EXPECT_EQ(GeometryForVersion("H1").flashTopByte, 7);
    EXPECT_EQ(GeometryForVersion("H1").lastSector, 127);
    EXPECT_EQ(GeometryForVersion("W2").flashTopByte, 31);
    EXPECT_EQ(GeometryForVersion("G3").lastSector, 511);
}

TEST(CommandSet, WireBytes) {
    EXPECT_EQ(AddressBytes(252), (std::array<std::uint8_t, 3>{0, 0, 252}));
    EXPECT_EQ(AddressBytes(25 * 4096), (std::array<std::uint8_t, 3>{1, 144, 0}));
    EXPECT_EQ(TimeStampBytes(1500000000), (std::array<std::uint8_t, 4>{89, 104, 47, 0}));
    EXPECT_EQ(TimeStampBytes(256), (std::array<std::uint8_t, 4>{0, 0, 1, 0}));
    EXPECT_EQ(ScanLogSectorAddress(31, 0), 2072576u);
    EXPECT_EQ(ScanLogSectorAddress(31, 3), 2084864u);
    EXPECT_EQ(ScanLogSectorAddress(7, 0), 499712u);
    EXPECT_EQ(OrganisationSlotAddress(31, 1), 31u * 65536 + 0xE000 + 32);
}

class CommandSetLink : public ::testing::Test {
protected:
    CommandSetLink() { port.Open(); }
    FakeClock clock;
    FakeSerialPort port{clock};
    Transport transport{port, clock};
    TransportLink link{transport, "/dev/fake"};
};

TEST_F(CommandSetLink, DecodesReplies) {
    port.responder = [](const Bytes& w) -> std::vector<Bytes> {
        const std::string code(w.begin(), w.begin() + 2);
        if (code == "SN") {
            return {{1, 2, 3}};
        }
        if (code == "VR") {
            return {{87, 12}};
        }
        if (code == "TN") {
            return {{89, 104, 47, 0}};
        }
        return {{'Z'}};
    };
    EXPECT_EQ(ReadSerialNumber(link), 66051u);
    EXPECT_EQ(ReadVersion(link), "W12");
    EXPECT_EQ(ReadTimeStamp(link), 1500000000u);
    EXPECT_TRUE(WriteTimeStamp(link, 256));
    EXPECT_EQ(port.written.back(), (Bytes{'T', 'W', 0, 0, 1, 0, 13}));
    EXPECT_TRUE(EraseSector(link, 9 * 4096));
    EXPECT_EQ(port.written.back(), (Bytes{'S', 'E', 0, 144, 0, 13}));
    const Bytes data = {246, 64, 0, 0, 0, 1, 0};
    EXPECT_TRUE(WriteBytes(link, 252, data));
    EXPECT_EQ(port.written.back(), (Bytes{'W', 'R', 0, 0, 252, 246, 64, 0, 0, 0, 1, 0, 13}));
    EXPECT_TRUE(AcknowledgeVersion(link));
    EXPECT_EQ(port.written.back(), (Bytes{'V', 'Y', 2, 13}));
    EXPECT_TRUE(SetKeyboardMode(link));
    EXPECT_EQ(port.written.back(), (Bytes{'R', 'O', 1, 13}));
}

TEST_F(CommandSetLink, FailuresAreValues) {
    EXPECT_FALSE(ReadSerialNumber(link).has_value());
    EXPECT_FALSE(ReadVersion(link).has_value());
    EXPECT_FALSE(ReadMemory(link, 0).has_value());
    EXPECT_FALSE(ClearScanCount(link));
    EXPECT_TRUE(EnterDownloadMode(link));
    EXPECT_TRUE(Sleep(link));
}

} // namespace
} // namespace tallybird::test
