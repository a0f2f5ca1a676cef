#include "model/registration_record.h"
#include "support/hostile_files.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace tallybird {
namespace {

TEST(RegistrationRecordTest, ThreeCharacterNameGivesNineteenBytes) {
    RegistrationRecord record;
    record.ownerName = "Ann";
    const Bytes bytes = EncodeRegistrationRecord(record);
    EXPECT_EQ(bytes, (Bytes{3, 0, 'A', 'n', 'n', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(RegistrationRecordTest, FieldsKeepTheirOrderAndCodePage) {
    const RegistrationRecord record{"Zoë", "1 Rose Lane", "z@x.org", "Cork", "Co. Cork",
                                    84,    "T12",         "+353 1"};
    const Bytes bytes = EncodeRegistrationRecord(record);
    EXPECT_EQ(bytes.size(), 16u + 3 + 11 + 7 + 4 + 8 + 3 + 6);
    EXPECT_EQ(bytes[4], 0xEB) << "e with diaeresis in Windows-1252";
    EXPECT_EQ(DecodeRegistrationRecord(bytes), record);
}

TEST(RegistrationRecordTest, ShortFilesLeaveTheRemainingFieldsEmpty) {
    const RegistrationRecord full{"Ann", "Lane", "a@b", "Town", "Shire", 3, "AB1", "0123"};
    const Bytes bytes = EncodeRegistrationRecord(full);

    EXPECT_EQ(DecodeRegistrationRecord({}), RegistrationRecord{});

    // Cut inside the address text: the name stays, the rest is empty.
    RegistrationRecord cut = DecodeRegistrationRecord(ByteView(bytes).first(8));
    EXPECT_EQ(cut.ownerName, "Ann");
    EXPECT_EQ(cut.addressLine1, "");
    EXPECT_EQ(cut.countryNumber, 0);

    // Cut just after the country number.
    const std::size_t countryEnd = 5 + 6 + 5 + 6 + 7 + 2;
    cut = DecodeRegistrationRecord(ByteView(bytes).first(countryEnd));
    EXPECT_EQ(cut.county, "Shire");
    EXPECT_EQ(cut.countryNumber, 3);
    EXPECT_EQ(cut.postCode, "");
}

TEST(RegistrationRecordTest, FileIsReplacedWholeAndReadBack) {
    test::TempDir dir;
    EXPECT_EQ(ReadRegistrationRecord(dir.Path()), RegistrationRecord{}) << "missing file";
    test::WriteFile(dir / kRegistrationFileName, Bytes{});
    EXPECT_EQ(ReadRegistrationRecord(dir.Path()), RegistrationRecord{}) << "0-byte file";

    // An older, longer file is replaced, not overwritten in place.
    test::WriteFile(dir / kRegistrationFileName, Bytes(500, 'x'));
    RegistrationRecord record;
    record.ownerName = "Ann";
    ASSERT_TRUE(WriteRegistrationRecord(dir.Path(), record));
    EXPECT_EQ(std::filesystem::file_size(dir / kRegistrationFileName), 19u);
    EXPECT_EQ(ReadRegistrationRecord(dir.Path()), record);
    EXPECT_FALSE(WriteRegistrationRecord(dir / "missing-folder", record));
}

class HostileRegistrationFileTest : public testing::TestWithParam<test::HostileFile> {};

TEST_P(HostileRegistrationFileTest, ReadsAsTheEmptyRecordAtOnce) {
    test::TempDir dir;
    if (!test::PlaceHostileFile(GetParam(), dir / kRegistrationFileName)) {
        GTEST_SKIP() << "this process may not make a " << test::Name(GetParam());
    }
    const auto readsEmpty = [&] {
        return ReadRegistrationRecord(dir.Path()) == RegistrationRecord{} ? 0 : 1;
    };
    EXPECT_EQ(test::ExitCodeWithin(std::chrono::seconds(5), readsEmpty), 0);
}

INSTANTIATE_TEST_SUITE_P(Kinds, HostileRegistrationFileTest,
                         testing::Values(test::HostileFile::Directory, test::HostileFile::Fifo,
                                         test::HostileFile::DanglingSymlink,
                                         test::HostileFile::SymlinkToDevZero,
                                         test::HostileFile::CharDevice),
                         [](const auto& instance) { return test::Name(instance.param); });

TEST(RegistrationRecordTest, DefaultsFillOnlyEmptyFields) {
    RegistrationRecord empty;
    ApplyRegistrationDefaults(empty);
    EXPECT_EQ(empty.ownerName, "Not Registered");
    EXPECT_EQ(empty.postCode, "AA0 0AA");
    EXPECT_EQ(empty.countryNumber, 1);

    RegistrationRecord filled{"Ann", "", "", "", "", 3, "AB1", ""};
    ApplyRegistrationDefaults(filled);
    EXPECT_EQ(filled.ownerName, "Ann");
    EXPECT_EQ(filled.postCode, "AB1");
    EXPECT_EQ(filled.countryNumber, 3);
}

} // namespace
} // namespace tallybird
