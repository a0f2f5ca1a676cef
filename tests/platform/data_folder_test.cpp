#include "platform/data_folder.h"
#include "support/hostile_files.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace tallybird {
namespace {

class DataFolderTest : public testing::Test {
protected:
    test::TempDir dir;
    std::filesystem::path home = dir / "share";
    std::filesystem::path install = dir / "install";

    void SetUp() override { std::filesystem::create_directories(install); }
};

TEST_F(DataFolderTest, FirstRunCopiesAnOlderInstallationsFilesOnce) {
    test::WriteTextFile(install / "TBLREG.tbf", "reg");
    test::WriteTextFile(install / "TBM00012345.tbf", "list");
    test::WriteTextFile(install / "readme.txt", "not data");

    const auto folder = ResolveDataFolder(home, install);
    EXPECT_EQ(folder, home / "Tallybird");
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_TRUE(std::filesystem::exists(folder / "TBLREG.tbf"));
    EXPECT_TRUE(std::filesystem::exists(folder / "TBM00012345.tbf"));
    EXPECT_FALSE(std::filesystem::exists(folder / "readme.txt"));

    // Files that appear later in the installation folder are not copied again.
    test::WriteTextFile(install / "TBM00099999.tbf", "new");
    test::WriteTextFile(install / "TBLREG.tbf", "changed");
    EXPECT_EQ(ResolveDataFolder(home, install), folder);
    EXPECT_FALSE(std::filesystem::exists(folder / "TBM00099999.tbf"));
    const Bytes reg = test::ReadFile(folder / "TBLREG.tbf");
    EXPECT_EQ(std::string(reg.begin(), reg.end()), "reg");
}

TEST_F(DataFolderTest, OnlyRegularFilesAreCopiedAndNothingBlocks) {
    test::WriteTextFile(install / "TBLREG.tbf", "reg");
    ASSERT_TRUE(test::PlaceHostileFile(test::HostileFile::Fifo, install / "TBM00000001.tbf"));
    ASSERT_TRUE(
        test::PlaceHostileFile(test::HostileFile::SymlinkToDevZero, install / "TBM00000002.tbf"));
    ASSERT_TRUE(test::PlaceHostileFile(test::HostileFile::Directory, install / "TBM00000003.tbf"));

    const auto resolve = [&] { return ResolveDataFolder(home, install).empty() ? 1 : 0; };
    EXPECT_EQ(test::ExitCodeWithin(std::chrono::seconds(5), resolve), 0);
    std::set<std::string> copied;
    for (const auto& entry : std::filesystem::directory_iterator(home / "Tallybird")) {
        copied.insert(entry.path().filename().string());
    }
    EXPECT_EQ(copied, std::set<std::string>{"TBLREG.tbf"});
}

TEST_F(DataFolderTest, ADirectoryNamedLikeTheRegistrationRecordIsNoOlderInstallation) {
    ASSERT_TRUE(test::PlaceHostileFile(test::HostileFile::Directory, install / "TBLREG.tbf"));
    test::WriteTextFile(install / "TBM00012345.tbf", "list");
    const auto folder = ResolveDataFolder(home, install);
    EXPECT_TRUE(std::filesystem::is_empty(folder));
}

TEST_F(DataFolderTest, NothingIsCopiedWithoutARegistrationRecord) {
    test::WriteTextFile(install / "TBM00012345.tbf", "list");
    const auto folder = ResolveDataFolder(home, install);
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_FALSE(std::filesystem::exists(folder / "TBM00012345.tbf"));
}

TEST_F(DataFolderTest, WithoutAHomeTheFolderLiesBesideTheProgramUncreated) {
    EXPECT_EQ(ResolveDataFolder({}, install), install / "Tallybird");
    EXPECT_FALSE(std::filesystem::exists(install / "Tallybird"));
}

} // namespace
} // namespace tallybird
