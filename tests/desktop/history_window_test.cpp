#include "desktop/history_window.h"

#include "platform/settings_store.h"
#include "scripted_dialogs.h"
#include "support/test_support.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

namespace tallybird::test {
namespace {

class HistoryWindowTest : public testing::Test {
protected:
    TempDir dir;
    SettingsStore store{dir / "Tallybird.ini"};
    Settings settings{store};
    ScriptedDialogs dialogs;

    void SetUp() override {
        HistoryStore history(HistoryFile(dir.Path()));
        SessionRecord older;
        older.started = 1765350000;
        older.scanner = "126590";
        older.end = "orderly end";
        older.reads = {{"985141000123456", true, true}, {"123*188*24910", true, false}};
        ASSERT_TRUE(history.Append(older)) << history.Error();
        SessionRecord newer = older;
        newer.started += 3600;
        newer.end = "software error";
        newer.reads = {{"9A78563412", false, false},
                       {"1000000000000001", false, false},
                       {"985141000123456", false, true}};
        ASSERT_TRUE(history.Append(newer)) << history.Error();
    }

    // Types `text` and waits for the pause after typing to run the search.
    static void Search(HistoryWindow& window, const QString& text) {
        window.findChild<QLineEdit*>("txtSearch")->setText(text);
        EXPECT_TRUE(window.SearchPending());
        EXPECT_TRUE(QTest::qWaitFor([&window] { return !window.SearchPending(); },
                                    static_cast<int>(Scaled(std::chrono::seconds(5)).count())));
    }

    static std::vector<std::string> Column(const HistoryWindow& window, int column) {
        std::vector<std::string> cells;
        for (int row = 0; row < window.ReadRowCount(); ++row) {
            cells.push_back(window.ReadCell(row, column).toStdString());
        }
        return cells;
    }
};

TEST_F(HistoryWindowTest, ShowsTheNewestSessionWithLeftOutReadsMarked) {
    HistoryWindow window(HistoryFile(dir.Path()), settings, dialogs);
    EXPECT_EQ(window.SessionRowCount(), 2);
    EXPECT_EQ(Column(window, HistoryWindow::kReceivedColumn),
              (std::vector<std::string>{"9A78563412", "1000000000000001", "985141000123456"}));
    EXPECT_EQ(Column(window, HistoryWindow::kNoteColumn),
              (std::vector<std::string>{"", "not in the chip list", ""}));
    EXPECT_EQ(Column(window, HistoryWindow::kUploadedColumn),
              (std::vector<std::string>{"No", "No", "No"}));
    EXPECT_EQ(Column(window, HistoryWindow::kMissingColumn),
              (std::vector<std::string>{"", "", "Yes"}));
}

// A chip typed in any format finds its reads in every session; the chip
// column follows the format setting, which is kept.
TEST_F(HistoryWindowTest, SearchInEachFormat) {
    HistoryWindow window(HistoryFile(dir.Path()), settings, dialogs);
    for (const char* text :
         {"985141000123456", "985 141000123456", "3D9.20D4432440", "3d9.20d4432440 "}) {
        Search(window, QString::fromLatin1(text));
        EXPECT_EQ(window.SessionRowCount(), 2) << text;
        EXPECT_EQ(Column(window, HistoryWindow::kReceivedColumn),
                  (std::vector<std::string>{"985141000123456", "985141000123456"}))
            << text;
    }
    Search(window, "002.1A78563412");
    EXPECT_EQ(Column(window, HistoryWindow::kReceivedColumn),
              std::vector<std::string>{"9A78563412"});
    Search(window, "188*249");
    EXPECT_EQ(Column(window, HistoryWindow::kReceivedColumn),
              std::vector<std::string>{"123*188*24910"});
    EXPECT_EQ(Column(window, HistoryWindow::kNoteColumn),
              std::vector<std::string>{"not in the chip list"});

    Search(window, "985141000123456");
    auto* format = window.findChild<QComboBox*>("cboChipFormat");
    ASSERT_NE(format, nullptr);
    format->setCurrentIndex(format->findData("DotHex"));
    EXPECT_EQ(Column(window, HistoryWindow::kChipColumn),
              (std::vector<std::string>{"3D9.20D4432440", "3D9.20D4432440"}));
    EXPECT_EQ(settings.ChipFormat(), "DotHex");
    format->setCurrentIndex(format->findData("Grouped"));
    EXPECT_EQ(Column(window, HistoryWindow::kChipColumn),
              (std::vector<std::string>{"985 141000123456", "985 141000123456"}));
}

TEST_F(HistoryWindowTest, MissingOnly) {
    HistoryWindow window(HistoryFile(dir.Path()), settings, dialogs);
    window.findChild<QCheckBox*>("chkMissing")->setChecked(true);
    EXPECT_EQ(Column(window, HistoryWindow::kReceivedColumn),
              (std::vector<std::string>{"985141000123456", "985141000123456"}));
    EXPECT_EQ(Column(window, HistoryWindow::kMissingColumn),
              (std::vector<std::string>{"Yes", "Yes"}));
}

TEST_F(HistoryWindowTest, ExportsWhatTheFiltersLetThrough) {
    HistoryWindow window(HistoryFile(dir.Path()), settings, dialogs);
    window.findChild<QCheckBox*>("chkMissing")->setChecked(true);
    dialogs.saveAnswer = dir / "missing.csv";
    window.ExportCsv();
    ASSERT_EQ(dialogs.saves.size(), 1u);
    EXPECT_TRUE(dialogs.saves[0].proposedName.ends_with(".csv"));
    const Bytes bytes = ReadFile(dir / "missing.csv");
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3) << text;

    dialogs.saveAnswer = dir / "no-such-folder" / "missing.xlsx";
    window.ExportSpreadsheet();
    ASSERT_EQ(dialogs.shown.size(), 1u) << "a failed export says so";
    EXPECT_EQ(dialogs.shown[0].title, "Export Chip History");
}

} // namespace
} // namespace tallybird::test
