#include "platform/atomic_file.h"
#include "support/hostile_files.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <set>

namespace tallybird {
namespace {

using namespace std::chrono_literals;
using test::HostileFile;

constexpr auto kPrompt = 5s; // far more than a call that does not block needs

std::set<std::string> Names(const std::filesystem::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

Bytes Sample(std::size_t size) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    }
    return bytes;
}

class HostileFileTest : public testing::TestWithParam<HostileFile> {
protected:
    test::TempDir dir;
    std::filesystem::path file = dir / "TBM00066051.tbf";

    void SetUp() override {
        if (!test::PlaceHostileFile(GetParam(), file)) {
            GTEST_SKIP() << "this process may not make a " << test::Name(GetParam());
        }
    }
};

class HostileReadTest : public HostileFileTest {};
class HostileWriteTest : public HostileFileTest {};

TEST_P(HostileReadTest, ReadsAsAbsentAtOnce) {
    const auto readAsAbsent = [this] { return ReadWholeFile(file) ? 1 : 0; };
    EXPECT_EQ(test::ExitCodeWithin(kPrompt, readAsAbsent), 0);
}

TEST_P(HostileWriteTest, ReplacesItOrFailsLeavingNothingBehind) {
    const Bytes contents = Sample(1000);
    const auto write = [&] { return WriteFileAtomically(file, contents) ? 1 : 0; };
    const auto written = test::ExitCodeWithin(kPrompt, write);

    if (GetParam() == HostileFile::Directory) {
        EXPECT_EQ(written, 0);
        EXPECT_TRUE(std::filesystem::is_directory(file));
        EXPECT_EQ(Names(file), std::set<std::string>{"inside"});
    } else {
        EXPECT_EQ(written, 1);
        // (Reading a FIFO or a device left in place would block this test.)
        ASSERT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(file)));
        EXPECT_EQ(test::ReadFile(file), contents);
    }
    // No temporary file is left, and a symbolic link's target never appears.
    EXPECT_EQ(Names(dir.Path()), std::set<std::string>{file.filename().string()});
}

const auto kKindName = [](const auto& info) { return test::Name(info.param); };

INSTANTIATE_TEST_SUITE_P(Kinds, HostileReadTest,
                         testing::Values(HostileFile::Directory, HostileFile::Fifo,
                                         HostileFile::DanglingSymlink,
                                         HostileFile::SymlinkToDevZero, HostileFile::CharDevice),
                         kKindName);

// Never a write through a link to a real device: a faulty write run with
// privileges would replace the system's own /dev/zero with a regular file.
INSTANTIATE_TEST_SUITE_P(Kinds, HostileWriteTest,
                         testing::Values(HostileFile::Directory, HostileFile::Fifo,
                                         HostileFile::DanglingSymlink, HostileFile::CharDevice),
                         kKindName);

TEST(AtomicFileTest, ASymlinkToAFileIsReadButReplacedByTheWrite) {
    test::TempDir dir;
    const auto target = dir / "elsewhere.tbf";
    const auto link = dir / "TBLREG.tbf";
    const Bytes original = Sample(300'000); // more than one read's worth
    test::WriteFile(target, original);
    std::filesystem::create_symlink(target, link);

    EXPECT_EQ(ReadWholeFile(link), original);

    ASSERT_TRUE(WriteFileAtomically(link, Sample(19)));
    EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(link)));
    EXPECT_EQ(test::ReadFile(link), Sample(19));
    EXPECT_EQ(test::ReadFile(target), original) << "the link's target keeps its bytes";
}

TEST(AtomicFileTest, ReplacingKeepsTheOldFilesPermissions) {
    test::TempDir dir;
    const auto file = dir / "TBLREG.tbf";
    test::WriteFile(file, Sample(50));
    std::filesystem::permissions(file, std::filesystem::perms::owner_read |
                                           std::filesystem::perms::owner_write |
                                           std::filesystem::perms::group_read);
    ASSERT_TRUE(WriteFileAtomically(file, Sample(10)));
    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(ReadWholeFile(file), Sample(10));
}

TEST(AtomicFileTest, EmptyAndMissingFiles) {
    test::TempDir dir;
    EXPECT_EQ(ReadWholeFile(dir / "absent"), std::nullopt);
    ASSERT_TRUE(WriteFileAtomically(dir / "empty", {}));
    EXPECT_EQ(ReadWholeFile(dir / "empty"), Bytes{}) << "an empty file is present, not absent";
    EXPECT_FALSE(WriteFileAtomically(dir / "no-folder" / "file", Sample(3)));
    EXPECT_EQ(Names(dir.Path()), std::set<std::string>{"empty"});
}

// What a write killed half-way leaves is found by its name and removed;
// everything else in the folder stays, the file itself included.
TEST(AtomicFileTest, LeftoverTemporariesOfTheFileAreRemovedAndNothingElse) {
    test::TempDir dir;
    const auto file = dir / "TBM00066051.tbf";
    ASSERT_TRUE(WriteFileAtomically(file, Sample(100)));
    const std::set<std::string> leftovers{".TBM00066051.tbf.a1B2c3", ".TBM00066051.tbf.ZZZZZZ"};
    const std::set<std::string> kept{
        "TBM00066051.tbf",          ".TBM00066051.err.a1B2c3", // another file's
        ".TBM00066051.tbf.abcdefg", ".TBM00066051.tbf.abcde",  // not the writer's names
        "TBM00066051.tbf.a1B2c3",   ".TBM00066051.tbf.folder"};
    for (const std::string& name : leftovers) {
        test::WriteTextFile(dir / name, "half a copy");
    }
    for (const std::string& name : kept) {
        if (name == ".TBM00066051.tbf.folder") {
            std::filesystem::create_directory(dir / name);
        } else if (name != "TBM00066051.tbf") {
            test::WriteTextFile(dir / name, "someone else's");
        }
    }
    EXPECT_EQ(RemoveLeftoverTemporaries(file), 2);
    EXPECT_EQ(Names(dir.Path()), kept);
    EXPECT_EQ(ReadWholeFile(file), Sample(100));
    EXPECT_EQ(RemoveLeftoverTemporaries(dir / "absent-folder" / "file"), 0);
}

} // namespace
} // namespace tallybird
