#include "model/session_file.h"

#include <gtest/gtest.h>

#include <cstring>

namespace tallybird {
namespace {

SessionFileData Sample() {
    SessionFileData data;
    data.timeStamp = 1733875200;
    data.list.values[0] = 985000000000001.0;
    data.list.values[1] = 0;
    data.list.attributes[0] = 3;
    data.list.count = 2;
    data.scannedValues[3100] = 13000000000001.0;
    data.organisations.entries[0] = Bytes{'T', 'a', 'l', 'l', 'y'};
    data.organisations.entries[1] = Bytes{0xE9};
    return data;
}

TEST(SessionFileTest, NamesCarryTheEightDigitWireSerial) {
    EXPECT_EQ(SessionFileName(66051), "TBM00066051.tbf");
    EXPECT_EQ(ErrorMarkerFileName(66051), "TBM00066051.err");
}

TEST(SessionFileTest, LayoutOffsets) {
    const Bytes bytes = EncodeSessionFile(Sample());
    EXPECT_EQ(kSessionFileFixedSize, 2524830u);
    EXPECT_EQ(bytes.size(), kSessionFileFixedSize + 257 * 2 + 5 + 1);
    auto doubleAt = [&](std::size_t offset) {
        double v;
        std::memcpy(&v, bytes.data() + offset, 8);
        return v;
    };
    EXPECT_EQ(doubleAt(0), 1733875200.0);
    EXPECT_EQ(doubleAt(8), 985000000000001.0);
    EXPECT_EQ(doubleAt(8 + 8 * 2), -1.0);
    EXPECT_EQ(bytes[2000016], 3);
    EXPECT_EQ(doubleAt(2500018 + 8 * 3100), 13000000000001.0);
    EXPECT_EQ(bytes[2524826], 2);
    EXPECT_EQ(bytes[2524830], 5) << "first organisation text's length";
    EXPECT_EQ(bytes[2524832], 'T');
}

TEST(SessionFileTest, RoundTripAndWrongSizesAreAbsent) {
    const SessionFileData data = Sample();
    Bytes bytes = EncodeSessionFile(data);
    EXPECT_EQ(DecodeSessionFile(bytes), data);

    EXPECT_FALSE(DecodeSessionFile(Bytes{}));
    EXPECT_FALSE(DecodeSessionFile(ByteView(bytes).first(bytes.size() - 1))) << "short";
    Bytes longer = bytes;
    longer.push_back(0);
    EXPECT_FALSE(DecodeSessionFile(longer)) << "long";
    EXPECT_FALSE(DecodeSessionFile(Bytes(kSessionFileFixedSize + 514, 0x41))) << "garbage";
}

} // namespace
} // namespace tallybird
