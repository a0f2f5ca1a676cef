#include "app/single_instance.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

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

} // namespace
} // namespace tallybird
