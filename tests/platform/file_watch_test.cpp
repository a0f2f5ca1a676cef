#include "platform/file_watch.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace tallybird {
namespace {

TEST(FileWatchTest, SeesWritesCreationAndRemovalOnlyOnce) {
    test::TempDir dir;
    FileWatch watch(dir / "Tallybird.ini");
    EXPECT_TRUE(watch.Changed()) << "the first look always reads";
    EXPECT_FALSE(watch.Changed()) << "still absent";

    test::WriteTextFile(dir / "Tallybird.ini", "[Settings]\nShow=False\n");
    EXPECT_TRUE(watch.Changed());
    EXPECT_FALSE(watch.Changed());

    test::WriteTextFile(dir / "Tallybird.ini", "[Settings]\nShow=True\n"); // a second launch
    EXPECT_TRUE(watch.Changed());
    EXPECT_FALSE(watch.Changed());

    std::filesystem::remove(dir / "Tallybird.ini");
    EXPECT_TRUE(watch.Changed());
}

} // namespace
} // namespace tallybird
