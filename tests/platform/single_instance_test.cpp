#include "platform/single_instance.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace tallybird {
namespace {

TEST(SingleInstanceTest, OnlyOneHolderAtATime) {
    test::TempDir dir;
    auto first = std::make_unique<SingleInstance>(dir / "tallybird.lock");
    ASSERT_TRUE(first->Acquire());
    EXPECT_TRUE(first->Acquire()) << "asking again keeps it";

    SingleInstance second(dir / "tallybird.lock");
    EXPECT_FALSE(second.Acquire());
    first.reset();
    EXPECT_TRUE(second.Acquire()) << "free once the first instance ended";
}

TEST(SingleInstanceTest, ALockLeftByAProcessThatDiedIsTakenOver) {
    test::TempDir dir;
    // What a crashed instance leaves: its process number, name and host.
    test::WriteTextFile(dir / "tallybird.lock", "2147483646\ntallybird\n\n");
    SingleInstance instance(dir / "tallybird.lock");
    EXPECT_TRUE(instance.Acquire());
}

class RuntimeFolderTest : public testing::Test {
protected:
    test::TempDir dir;
    std::filesystem::path work = dir / "work"; // the current folder
    test::ScopedEnvironment env;

    void SetUp() override {
        std::filesystem::create_directories(work);
        std::filesystem::create_directories(dir / "tmp");
        env.Set("TMPDIR", (dir / "tmp").string()); // where the fallback folder goes
        env.ChangeFolder(work);
    }
};

TEST_F(RuntimeFolderTest, ARelativeRuntimeFolderIsIgnoredLikeAnUnsetOne) {
    env.Unset("XDG_RUNTIME_DIR");
    const std::filesystem::path unset = SingleInstance::DefaultLockFile();
    EXPECT_EQ(unset.parent_path().parent_path(), dir / "tmp");

    env.Set("XDG_RUNTIME_DIR", "run");
    EXPECT_EQ(SingleInstance::DefaultLockFile(), unset);
    EXPECT_TRUE(std::filesystem::is_empty(work)) << "nothing is made below the current folder";
    struct stat info {};
    ASSERT_EQ(::lstat(unset.parent_path().c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_mode & 07777, 0700u) << "a folder only this user may enter";
}

TEST_F(RuntimeFolderTest, AnAbsoluteRuntimeFolderIsUsed) {
    const auto runtime = dir / "run";
    std::filesystem::create_directory(runtime);
    std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
    env.Set("XDG_RUNTIME_DIR", runtime.string());
    EXPECT_EQ(SingleInstance::DefaultLockFile(), runtime / "tallybird.lock");
}

} // namespace
} // namespace tallybird
