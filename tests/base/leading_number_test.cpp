#include "base/leading_number.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace tallybird {
namespace {

struct LeadingCase {
    std::string text;
    double value;
};

class LeadingNumberTest : public testing::TestWithParam<LeadingCase> {};

TEST_P(LeadingNumberTest, ReadsTheNumberAtTheStart) {
    EXPECT_DOUBLE_EQ(LeadingNumber(GetParam().text), GetParam().value) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, LeadingNumberTest,
    testing::Values(LeadingCase{"604173", 604173}, LeadingCase{"604 173", 604173},
                    LeadingCase{" \t604\n173 ", 604173}, LeadingCase{"604173x", 604173},
                    LeadingCase{"-5", -5}, LeadingCase{"- 5", -5}, LeadingCase{"+7", 7},
                    LeadingCase{"2.6", 2.6}, LeadingCase{"1.2.3", 1.2}, LeadingCase{".5", 0.5},
                    LeadingCase{"1e3", 1000}, LeadingCase{"1e", 1}, LeadingCase{"1E+2x", 100},
                    LeadingCase{"1733875200\r\n", 1733875200}, LeadingCase{"", 0},
                    LeadingCase{"<HTML>", 0}, LeadingCase{"x12", 0}, LeadingCase{"-", 0},
                    LeadingCase{"1,000", 1}, LeadingCase{"1e-400", 0},
                    LeadingCase{"0.0001e-320", 0}, LeadingCase{"1e400", HUGE_VAL},
                    LeadingCase{"-1e400", -HUGE_VAL}));

TEST(WholeNumberTest, AcceptsOnlyTextsThatAreNumbersThroughout) {
    EXPECT_EQ(WholeNumber(" 12 "), 12);
    EXPECT_EQ(WholeNumber("12.5"), 12.5);
    EXPECT_FALSE(WholeNumber("12abc"));
    EXPECT_FALSE(WholeNumber(""));
    EXPECT_FALSE(WholeNumber("x"));
    EXPECT_FALSE(WholeNumber("-"));
}

TEST(RoundHalfToEvenTest, HalvesGoToTheEvenNeighbour) {
    EXPECT_EQ(RoundHalfToEven(0.5), 0);
    EXPECT_EQ(RoundHalfToEven(1.5), 2);
    EXPECT_EQ(RoundHalfToEven(2.5), 2);
    EXPECT_EQ(RoundHalfToEven(12.501), 13);
    EXPECT_EQ(RoundHalfToEven(-2.5), -2);
}

} // namespace
} // namespace tallybird
