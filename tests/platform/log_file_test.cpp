#include "platform/log_file.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

namespace tallybird::test {
namespace {

std::string TextOf(const std::filesystem::path& file) {
    const Bytes bytes = ReadFile(file);
    return std::string(bytes.begin(), bytes.end());
}

TEST(LogFileTest, AppendsLinesAndKeepsThreeFilesWhenItRotates) {
    TempDir dir;
    const auto file = dir / "state" / "Tallybird" / "tallybird.log";
    LogFile log(file, 100);
    for (int i = 0; i < 25; ++i) {
        const std::string number = (i < 10 ? "0" : "") + std::to_string(i);
        ASSERT_TRUE(log.Write("line " + number + " of the log, padded a bit"));
    }
    // 33 bytes a line: the fourth line takes a file past 100 bytes.
    EXPECT_EQ(TextOf(file), "line 24 of the log, padded a bit\n");
    auto first = file;
    first += ".1";
    auto second = file;
    second += ".2";
    auto third = file;
    third += ".3";
    EXPECT_EQ(TextOf(first), "line 20 of the log, padded a bit\nline 21 of the log, padded a "
                             "bit\nline 22 of the log, padded a bit\nline 23 of the log, padded "
                             "a bit\n");
    EXPECT_TRUE(std::filesystem::exists(second));
    EXPECT_FALSE(std::filesystem::exists(third));

    struct stat info {};
    ASSERT_EQ(stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777U, 0600U) << "only for the user";
    ASSERT_EQ(stat(file.parent_path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777U, 0700U);
}

TEST(LogFileTest, ALogThatCannotBeWrittenIsNoFailure) {
    TempDir dir;
    std::filesystem::create_directories(dir / "Tallybird.log");
    LogFile folder(dir / "Tallybird.log");
    EXPECT_FALSE(folder.Write("nowhere to go"));

    const auto target = dir / "elsewhere";
    std::filesystem::create_symlink(target, dir / "linked.log");
    LogFile linked(dir / "linked.log");
    EXPECT_FALSE(linked.Write("not through a link"));
    EXPECT_FALSE(std::filesystem::exists(target));
}

} // namespace
} // namespace tallybird::test
