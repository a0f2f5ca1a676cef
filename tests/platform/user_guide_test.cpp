#include "platform/user_guide.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace tallybird {
namespace {

namespace fs = std::filesystem;

TEST(UserGuideFile, TheInstalledGuideComesFirstThenTheOneBesideTheProgram) {
    test::TempDir dir;
    const fs::path bin = dir / "usr/bin";
    const fs::path installed = dir / "usr/share/doc/tallybird/UserGuide.pdf";
    const fs::path beside = bin / "UserGuide.pdf";
    fs::create_directories(bin);

    EXPECT_EQ(UserGuideFile(bin), beside) << "neither: the name beside the program";
    test::WriteTextFile(beside, "%PDF");
    EXPECT_EQ(UserGuideFile(bin), beside);

    fs::create_directories(installed);
    EXPECT_EQ(UserGuideFile(bin), beside) << "a folder of that name is no guide";
    fs::remove(installed);
    test::WriteTextFile(installed, "%PDF");
    EXPECT_EQ(UserGuideFile(bin), installed);
    EXPECT_EQ(UserGuideFile(dir / "usr/local/bin"), dir / "usr/local/bin/UserGuide.pdf")
        << "another prefix looks in its own documentation folder only";
}

} // namespace
} // namespace tallybird
