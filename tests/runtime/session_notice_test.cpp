#include "runtime/session_notice.h"

#include <gtest/gtest.h>

namespace tallybird {
namespace {

// The notification keeps its plain words and, for a session that stopped,
// adds why: the three causes a user cannot tell apart otherwise.
TEST(SessionNoticeTest, AStoppedSessionsNoticeSaysWhy) {
    struct Case {
        SessionEnd end;
        std::string reason;
        std::string text;
    };
    const std::string restart =
        "A software error stopped the update. Please close and restart the program.";
    const std::vector<Case> cases{
        {SessionEnd::SoftwareError, "the scanner's port could not be opened",
         restart + "\nWhy: the scanner's port could not be opened"},
        {SessionEnd::SoftwareError,
         "upload: the service did not accept the upload (HTTP status 500)",
         restart + "\nWhy: upload: the service did not accept the upload (HTTP status 500)"},
        {SessionEnd::SoftwareError, "", restart},
        {SessionEnd::Failure, "the scanner stopped answering during \"SC\"",
         "The scanner was not updated. Plug it in again to finish the update.\nWhy: the scanner "
         "stopped answering during \"SC\""},
    };
    for (const Case& c : cases) {
        const auto notice = NoticeForSessionEnd(c.end, 0, c.reason);
        ASSERT_TRUE(notice.has_value());
        EXPECT_EQ(notice->text, c.text);
        EXPECT_TRUE(notice->warning);
    }
    const auto orderly = NoticeForSessionEnd(SessionEnd::Orderly, 2);
    ASSERT_TRUE(orderly.has_value());
    EXPECT_EQ(orderly->text, "2 chips were read. The scanner is safe to remove.");
    EXPECT_FALSE(NoticeForSessionEnd(SessionEnd::NotRun, 0, "x").has_value());
}

} // namespace
} // namespace tallybird
