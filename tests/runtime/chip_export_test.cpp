#include "model/history.h"
#include "runtime/chip_export.h"
#include "support/hostile_files.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace tallybird {
namespace {

std::string FileText(const std::filesystem::path& file) {
    const Bytes bytes = test::ReadFile(file);
    return std::string(bytes.begin(), bytes.end());
}

TEST(ChipListTest, CopyTakesTheBareNumbersOfSelectedRowsInOrder) {
    const std::vector<std::string> numbers{"985000000000001", "9A78563412", "123*188*249"};
    EXPECT_EQ(CopyText(numbers, {true, false, true}), "985000000000001\r\n123*188*249\r\n");
    EXPECT_EQ(CopyText(numbers, {false, false, false}), "");
}

TEST(ChipListTest, RowMarkIsWhatFollowsTheChipNumberInRowsOfEveryForm) {
    // Rows as a session builds them: a 15-digit and a hexadecimal chip on
    // the list, one of each form that is not, and a three-group text.
    LostList list;
    list.values[0] = 985000000000001.0;
    list.values[1] = 2000000000000.0 + 26.0 * 4294967296.0 + 0x78563412;
    list.count = 2;
    const ChipHistory history = BuildChipHistory(
        {"985000000000001", "985000000000002", "9A78563412", "9A78563413", "123*188*249"}, list,
        [] { return std::tm{}; });
    ASSERT_EQ(history.rows.size(), 5U);
    std::vector<std::string> marks;
    for (std::size_t i = 0; i < history.rows.size(); ++i) {
        marks.push_back(RowMark(history.rows[i], history.rowChipNumbers[i]));
    }
    EXPECT_EQ(marks, (std::vector<std::string>{"Yes", "", "Yes", "", ""}));
    EXPECT_EQ(RowMark("9A78563412", "9A78563412"), "") << "a row without gap or mark";
    EXPECT_EQ(RowMark("other row   Yes", "9A78563412"), "") << "a row of another chip";
}

TEST(ChipListTest, SaveWritesEverySessionsLinesAndOneLineEnd) {
    test::TempDir dir;
    ExportText text;
    ASSERT_TRUE(SaveExportText(dir / "empty.txt", text.Text()));
    EXPECT_EQ(FileText(dir / "empty.txt"), "\r\n") << "save before any session";

    text.Append("A    07/12/26 14:05    Yes\r\n");
    text.Append("B    07/12/26 14:06       \r\n");
    test::WriteTextFile(dir / "old.txt", std::string(500, 'x'));
    ASSERT_TRUE(SaveExportText(dir / "old.txt", text.Text()));
    EXPECT_EQ(FileText(dir / "old.txt"),
              "A    07/12/26 14:05    Yes\r\nB    07/12/26 14:06       \r\n\r\n");
    EXPECT_FALSE(SaveExportText(dir / "no" / "such" / "folder.txt", text.Text()));
    EXPECT_FALSE(SaveExportText({}, text.Text()));
}

TEST(ChipListTest, SaveReplacesAFifoOrALinkInsteadOfWritingThroughIt) {
    for (const auto kind : {test::HostileFile::Fifo, test::HostileFile::DanglingSymlink}) {
        SCOPED_TRACE(test::Name(kind));
        test::TempDir dir;
        const auto file = dir / "chips.txt";
        ASSERT_TRUE(test::PlaceHostileFile(kind, file));
        const auto save = [&] { return SaveExportText(file, "A\r\n") ? 0 : 1; };
        EXPECT_EQ(test::ExitCodeWithin(std::chrono::seconds(5), save), 0);
        ASSERT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(file)));
        EXPECT_EQ(FileText(file), "A\r\n\r\n");
        EXPECT_FALSE(std::filesystem::exists(test::DanglingTarget(file)));
    }
}

TEST(ChipListTest, ProposedName) {
    std::tm t{};
    t.tm_mday = 7;
    t.tm_mon = 11;
    t.tm_year = 126;
    t.tm_hour = 14;
    t.tm_min = 5;
    EXPECT_EQ(ProposedSaveName(t), "07_12_26_14_05_Chip_Numbers");
}

} // namespace
} // namespace tallybird
