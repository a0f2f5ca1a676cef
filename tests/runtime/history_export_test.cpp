#include "runtime/history_export.h"

#include "support/test_support.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>

#include <map>

#include <gtest/gtest.h>

namespace tallybird {
namespace {

using test::TempDir;

StoredRead Read(std::string text, std::string reason = {}) {
    StoredRead read;
    read.session = 1;
    read.time = 1765350000;
    read.scanner = "126590";
    read.kind = ClassifyChipText(text);
    read.text = std::move(text);
    read.uploaded = reason.empty();
    read.missing = read.text == "985141000123456";
    read.end = reason.empty() ? "orderly end" : "software error";
    read.reason = std::move(reason);
    return read;
}

// Values a spreadsheet or a careless writer would damage.
std::vector<StoredRead> TrickyReads() {
    return {Read("985141000123456"),
            Read("1000000000000001"),
            Read("00000000FF"),
            Read("123*188*24910"),
            Read("985000000000009", "HTTP 500 from upscan.php; body \"<html>\", retry"),
            Read("985000000000010", "Zeitüberschreitung — ответ\r\nsecond line"),
            Read("=1+2")};
}

std::string RunTool(const QString& program, const QStringList& args) {
    QProcess process;
    process.start(program, args);
    EXPECT_TRUE(process.waitForFinished(60000)) << program.toStdString();
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    return process.readAllStandardOutput().toStdString();
}

// Python's csv module reads back every field exactly as written.
TEST(HistoryExportTest, CsvReadsBackExactly) {
    TempDir dir;
    const auto file = dir / "history.csv";
    const auto reads = TrickyReads();
    std::string error;
    ASSERT_TRUE(WriteHistoryCsv(file, reads, ChipFormat::Grouped, error)) << error;
    const std::string json =
        RunTool("python3", {"-c",
                            "import csv, json, sys\n"
                            "with open(sys.argv[1], newline='', encoding='utf-8') as f:\n"
                            "    print(json.dumps(list(csv.reader(f, strict=True))))\n",
                            QString::fromStdString(file.string())});
    const QJsonArray rows = QJsonDocument::fromJson(QByteArray::fromStdString(json)).array();
    ASSERT_EQ(rows.size(), static_cast<qsizetype>(reads.size() + 1)) << json;
    const auto expectRow = [&](qsizetype at, const std::vector<std::string>& fields) {
        const QJsonArray row = rows[at].toArray();
        ASSERT_EQ(row.size(), static_cast<qsizetype>(fields.size()));
        for (std::size_t i = 0; i < fields.size(); ++i) {
            EXPECT_EQ(row[static_cast<qsizetype>(i)].toString().toStdString(), fields[i]);
        }
    };
    expectRow(0, HistoryHeader());
    for (std::size_t i = 0; i < reads.size(); ++i) {
        expectRow(static_cast<qsizetype>(i + 1),
                  HistoryRow(reads[i], ChipFormat::Grouped, SystemCountryNames()));
    }
    // The fields the CSV must carry, written out by hand for two rows.
    const QJsonArray first = rows[1].toArray();
    EXPECT_EQ(first[2].toString(), "985 141000123456");
    EXPECT_EQ(first[3].toString(), "985141000123456");
    EXPECT_EQ(first[5].toString(), "manufacturer");
    EXPECT_EQ(first[7].toString(), "yes");
    EXPECT_TRUE(QRegularExpression(R"(^2025-12-10T\d\d:\d\d:00[+-]\d\d:\d\d$)")
                    .match(first[0].toString())
                    .hasMatch())
        << first[0].toString().toStdString();
    EXPECT_EQ(rows[2].toArray()[3].toString(), "1000000000000001");
    EXPECT_EQ(rows[3].toArray()[3].toString(), "00000000FF");
    EXPECT_EQ(rows[4].toArray()[8].toString(), "no") << "not in the main list";
    EXPECT_EQ(rows[6].toArray()[11].toString(),
              QString::fromUtf8("Zeitüberschreitung — ответ\r\nsecond line"));
}

TEST(HistoryExportTest, CountryColumn) {
    TempDir dir;
    test::WriteTextFile(dir / "iso.json",
                        R"({"3166-1": [{"name": "United Kingdom", "numeric": "826"},
                                       {"name": "Netherlands", "numeric": "528"}]})");
    const CountryNames names = ReadIsoCountryNames(dir / "iso.json");
    struct Case {
        std::string text;
        std::string country;
    };
    for (const Case& c :
         {Case{"826000000000002", "United Kingdom"}, Case{"528000000000002", "Netherlands"},
          Case{"250000000000002", "250"}, Case{"001000000000002", "1"},
          Case{"900000000000002", "manufacturer"}, Case{"998000000000002", "manufacturer"},
          Case{"999000000000002", ""}, Case{"000000000000002", ""}, Case{"1000000000000001", ""},
          Case{"9A78563412", ""}, Case{"123*188*016", ""}}) {
        EXPECT_EQ(ChipCountry(c.text, names), c.country) << c.text;
    }
    EXPECT_TRUE(ReadIsoCountryNames(dir / "absent.json").empty());
}

std::string Unzipped(const std::filesystem::path& file, const char* member) {
    return RunTool("unzip", {"-p", QString::fromStdString(file.string()), member});
}

// Every chip cell is a text cell holding the chip exactly; the time is a
// number (a date) with a date format.
TEST(HistoryExportTest, XlsxChipCellsAreText) {
    TempDir dir;
    const auto file = dir / "history.xlsx";
    const auto reads = TrickyReads();
    std::string error;
    ASSERT_TRUE(WriteHistoryXlsx(file, reads, ChipFormat::Digits, error)) << error;
    const std::string sheet = Unzipped(file, "xl/worksheets/sheet1.xml");
    const std::string strings = Unzipped(file, "xl/sharedStrings.xml");

    std::vector<std::string> shared;
    const QRegularExpression si(R"(<si><t[^>]*>([^<]*)</t></si>)");
    for (auto it = si.globalMatch(QString::fromStdString(strings)); it.hasNext();) {
        shared.push_back(it.next().captured(1).toStdString());
    }
    std::map<std::string, std::string> cells; // "C2" -> text
    std::map<std::string, std::string> types;
    const QRegularExpression cell(
        R"re(<c r="([A-Z]+\d+)"([^>]*)>(?:<f>[^<]*</f>)?<v>([^<]*)</v></c>)re");
    for (auto it = cell.globalMatch(QString::fromStdString(sheet)); it.hasNext();) {
        const auto m = it.next();
        const std::string ref = m.captured(1).toStdString();
        const std::string attributes = m.captured(2).toStdString();
        types[ref] = attributes;
        if (attributes.find("t=\"s\"") != std::string::npos) {
            cells[ref] = shared.at(m.captured(3).toULongLong());
        } else {
            cells[ref] = m.captured(3).toStdString();
        }
    }
    EXPECT_EQ(sheet.find("<f>"), std::string::npos) << "no formula anywhere";
    for (std::size_t i = 0; i < reads.size(); ++i) {
        const std::string row = std::to_string(i + 2);
        for (const char* column : {"C", "D"}) {
            const std::string ref = column + row;
            EXPECT_NE(types[ref].find("t=\"s\""), std::string::npos) << ref << " is text";
        }
        EXPECT_EQ(cells["D" + row], reads[i].text);
        EXPECT_EQ(types["A" + row].find("t="), std::string::npos) << "the time is a number";
        EXPECT_NE(types["A" + row].find("s=\""), std::string::npos) << "with a date format";
        // 10 December 2025 is day 46001 of the spreadsheet calendar.
        EXPECT_EQ(cells["A" + row].substr(0, 6), "46001.") << cells["A" + row];
    }
    EXPECT_EQ(cells["C2"], "985141000123456");
    EXPECT_EQ(cells["D8"], "=1+2");
    const std::string styles = Unzipped(file, "xl/styles.xml");
    EXPECT_NE(styles.find("yyyy-mm-dd hh:mm:ss"), std::string::npos);
}

TEST(HistoryExportTest, CommandLineLine) {
    StoredRead read = Read("9A78563412");
    read.uploaded = false;
    read.missing = true;
    const std::string line = HistoryLine(read);
    EXPECT_EQ(line.substr(0, 11), "2025-12-10T");
    EXPECT_EQ(line.substr(line.find('\t')), "\t126590\t9A78563412\thexadecimal\tno\tyes");
}

} // namespace
} // namespace tallybird
