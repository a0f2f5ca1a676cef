// The chip history after real sessions: `tallybird-cli history` lists every
// chip read, also those the main list leaves out, with its marks; a session
// that failed keeps its chips as not uploaded; a history that cannot be
// written changes nothing a session does or says.
#include "support/cli_fixture.h"
#include "support/scanner_sim.h"
#include "support/service_sim.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <sstream>

namespace tallybird::test {
namespace {

constexpr const char* kState =
    R"({"time": 1765350000, "countries": {"1": {"lost": [{"chip": "826000000000002"}],
        "organisations": ["Vets North", "01632 960001"]}}})";

// Every kind of scan-log record and the text the session reads from it.
const QStringList kScans = {
    "--scan",        "826000000000002", // on the missing-animal list
    "--scan",        "985000000000001",
    "--scan-record", "0100000000FA", // code 1000: 16 digits, no row in the main list
    "--scan-record", "123456789AFF", // hexadecimal
    "--scan-record", "1000BC007B00", // three groups, 11 characters
    "--scan-record", "4E61BC007B00", // three groups, 13 characters: no row
};

class HistoryCliTest : public CliAgainstService {
protected:
    HistoryCliTest() : CliAgainstService(kState) {}

    // The history lines without their times.
    std::vector<std::string> HistoryLines(const QStringList& options = {}) {
        const ProcessResult r = RunCli(config, QStringList{"history"} + options);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.err, "");
        std::vector<std::string> lines;
        std::istringstream in(r.out);
        for (std::string line; std::getline(in, line);) {
            EXPECT_EQ(line.substr(10, 1), "T") << line;
            lines.push_back(line.substr(line.find('\t') + 1));
        }
        return lines;
    }
};

TEST_F(HistoryCliTest, EveryChipReadWithItsMarks) {
    EXPECT_TRUE(HistoryLines().empty()) << "no history yet";
    {
        ScannerSim scanner(dir / "scanner", kScans);
        const ProcessResult r = RunCli(config, {"sync", "7"});
        ASSERT_EQ(r.exitCode, 0) << r.err;
    }
    const std::vector<std::string> expected = {
        "126590\t826000000000002\tdecimal\tyes\tyes", "126590\t985000000000001\tdecimal\tyes\tno",
        "126590\t1000000000000001\tdecimal\tyes\tno", "126590\t9A78563412\thexadecimal\tyes\tno",
        "126590\t123*188*016\tthree-group\tyes\tno",  "126590\t123*188*24910\tthree-group\tyes\tno",
    };
    EXPECT_EQ(HistoryLines(), expected);

    // Days are local days, both ends included.
    const QString today = QDate::currentDate().toString(Qt::ISODate);
    const QString tomorrow = QDate::currentDate().addDays(1).toString(Qt::ISODate);
    EXPECT_EQ(HistoryLines({"--since", today, "--until", today}), expected);
    EXPECT_TRUE(HistoryLines({"--since", tomorrow}).empty());
    EXPECT_TRUE(
        HistoryLines({"--until", QDate::currentDate().addDays(-1).toString(Qt::ISODate)}).empty());

    const auto csv = dir / "history.csv";
    const ProcessResult exported =
        RunCli(config, {"history", "--csv", QString::fromStdString(csv.string())});
    EXPECT_EQ(exported.exitCode, 0) << exported.err;
    EXPECT_EQ(exported.out, "");
    const Bytes bytes = ReadFile(csv);
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_NE(text.find(",1000000000000001,1000000000000001,decimal,,yes,no,no,"),
              std::string::npos)
        << text;

    for (const QStringList& bad : {QStringList{"--since", "10/12/2025"}, QStringList{"--until"},
                                   QStringList{"--bogus", "x"}}) {
        EXPECT_EQ(RunCli(config, QStringList{"history"} + bad).exitCode, 64)
            << bad.join(' ').toStdString();
    }
}

// The upload fails: the session ends as a software error, its chips stay in
// the history as not uploaded.
TEST_F(HistoryCliTest, FailedSessionKeepsItsChipsAsNotUploaded) {
    ASSERT_TRUE(service.SetFault("upscan.php", "500"));
    {
        ScannerSim scanner(dir / "scanner",
                           {"--scan", "985000000000001", "--scan-record", "123456789AFF"});
        const ProcessResult r = RunCli(config, {"sync", "7"});
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.err, "Tallybird: Software Error - , please close and restart the program\n");
    }
    EXPECT_EQ(HistoryLines(),
              (std::vector<std::string>{"126590\t985000000000001\tdecimal\tno\tno",
                                        "126590\t9A78563412\thexadecimal\tno\tno"}));
}

// Nothing can be written where the history belongs: the session ends in
// order, says exactly what it always says, and keeps its files.
TEST_F(HistoryCliTest, UnwritableHistoryLeavesTheSessionAlone) {
    const auto data = config / "data-home" / "Tallybird";
    std::filesystem::create_directories(data / "history.sqlite");
    ScannerSim scanner(dir / "scanner", {"--scan", "826000000000002"});
    const ProcessResult r = RunCli(config, {"sync", "7"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Progress: Updating Scanner\nProgress: Tallybird sector 1\n"
                     "Progress: Scanner connected, safe to remove\n");
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(std::filesystem::exists(data / "TBM00066051.tbf"));
    EXPECT_TRUE(std::filesystem::is_directory(data / "history.sqlite"));
    const Bytes bytes = ReadFile(config / "state-home" / "Tallybird" / "tallybird.log");
    const std::string log(bytes.begin(), bytes.end());
    EXPECT_NE(log.find("not kept in the chip history"), std::string::npos) << log;
}

// A damaged history is moved aside; the user hears of it once.
TEST_F(HistoryCliTest, DamagedHistoryIsReportedOnce) {
    const auto data = config / "data-home" / "Tallybird";
    std::filesystem::create_directories(data);
    WriteTextFile(data / "history.sqlite", std::string(4096, '\x7f'));
    for (int session = 0; session < 2; ++session) {
        // Two scanners, so neither session has to repair the other's.
        ScannerSim scanner(dir / "scanner", {"--scan", "985000000000001", "--serial",
                                             QString::number(66051 + session)});
        const ProcessResult r = RunCli(config, {"sync", "7"});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.err.starts_with("Chip history: The chip history was damaged."), session == 0)
            << r.err;
    }
    EXPECT_EQ(HistoryLines().size(), 2u);
}

} // namespace
} // namespace tallybird::test
