#include "runtime/history_export.h"

#include "platform/atomic_file.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <xlsxwriter.h>

#include <ctime>
#include <system_error>
#include <unistd.h>

namespace tallybird {
namespace {

constexpr const char* kIsoCodesFile = "/usr/share/iso-codes/json/iso_3166-1.json";

const char* YesNo(bool value) {
    return value ? "yes" : "no";
}

// A temporary name beside `file`, for a write that is renamed into place.
std::filesystem::path TemporaryBeside(const std::filesystem::path& file) {
    return file.parent_path() /
           ("." + file.filename().string() + ".tmp-" + std::to_string(::getpid()));
}

} // namespace

CountryNames ReadIsoCountryNames(const std::filesystem::path& file) {
    CountryNames names;
    QFile in(QString::fromStdString(file.string()));
    if (!in.open(QIODevice::ReadOnly)) {
        return names;
    }
    const QJsonDocument document = QJsonDocument::fromJson(in.readAll());
    for (const QJsonValue& entry : document.object().value(QStringLiteral("3166-1")).toArray()) {
        const QJsonObject country = entry.toObject();
        bool ok = false;
        const unsigned code = country.value(QStringLiteral("numeric")).toString().toUInt(&ok);
        const QString name = country.value(QStringLiteral("name")).toString();
        if (ok && !name.isEmpty()) {
            names[code] = name.toStdString();
        }
    }
    return names;
}

const CountryNames& SystemCountryNames() {
    static const CountryNames names = ReadIsoCountryNames(kIsoCodesFile);
    return names;
}

std::string ChipCountry(const std::string& text, const CountryNames& names) {
    if (ClassifyChipText(text) != ChipKind::Decimal) {
        return {};
    }
    const auto code = ChipCodeOfText(text);
    if (!code) {
        return {};
    }
    if (code->country >= 1 && code->country <= 899) {
        const auto name = names.find(code->country);
        return name != names.end() ? name->second : std::to_string(code->country);
    }
    if (code->country >= 900 && code->country <= 998) {
        return "manufacturer";
    }
    return {};
}

std::vector<std::string> HistoryHeader() {
    return {"Time",     "Scanner", "Chip number",  "As received", "Kind", "Country",
            "Uploaded", "Missing", "In chip list", "Session end", "Step", "Reason"};
}

std::vector<std::string> HistoryRow(const StoredRead& read, ChipFormat format,
                                    const CountryNames& names) {
    return {IsoLocalTime(read.time),
            read.scanner,
            FormatChipText(read.text, format),
            read.text,
            ChipKindName(read.kind),
            ChipCountry(read.text, names),
            YesNo(read.uploaded),
            YesNo(read.missing),
            YesNo(ShownInChipList(read.text)),
            read.end,
            read.step,
            read.reason};
}

std::string CsvText(const std::vector<std::vector<std::string>>& records) {
    std::string text;
    for (const auto& record : records) {
        for (std::size_t i = 0; i < record.size(); ++i) {
            if (i > 0) {
                text += ',';
            }
            const std::string& field = record[i];
            if (field.find_first_of(",\"\r\n") == std::string::npos) {
                text += field;
                continue;
            }
            text += '"';
            for (const char c : field) {
                if (c == '"') {
                    text += '"';
                }
                text += c;
            }
            text += '"';
        }
        text += "\r\n";
    }
    return text;
}

bool WriteHistoryCsv(const std::filesystem::path& file, const std::vector<StoredRead>& reads,
                     ChipFormat format, std::string& error) {
    std::vector<std::vector<std::string>> records;
    records.reserve(reads.size() + 1);
    records.push_back(HistoryHeader());
    for (const StoredRead& read : reads) {
        records.push_back(HistoryRow(read, format, SystemCountryNames()));
    }
    const std::string text = CsvText(records);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    if (!WriteFileAtomically(file, ByteView(bytes, text.size()))) {
        error = "cannot write " + file.string();
        return false;
    }
    return true;
}

bool WriteHistoryXlsx(const std::filesystem::path& file, const std::vector<StoredRead>& reads,
                      ChipFormat format, std::string& error) {
    const std::filesystem::path temporary = TemporaryBeside(file);
    lxw_workbook* book = workbook_new(temporary.c_str());
    if (book == nullptr) {
        error = "cannot create " + file.string();
        return false;
    }
    lxw_worksheet* sheet = workbook_add_worksheet(book, "History");
    lxw_format* dateFormat = workbook_add_format(book);
    format_set_num_format(dateFormat, "yyyy-mm-dd hh:mm:ss");
    lxw_format* bold = workbook_add_format(book);
    format_set_bold(bold);
    const std::vector<std::string> header = HistoryHeader();
    for (std::size_t c = 0; c < header.size(); ++c) {
        worksheet_write_string(sheet, 0, static_cast<lxw_col_t>(c), header[c].c_str(), bold);
    }
    worksheet_set_column(sheet, 0, 0, 20, nullptr);
    worksheet_set_column(sheet, 1, 3, 18, nullptr);
    worksheet_freeze_panes(sheet, 1, 0);
    lxw_row_t row = 1;
    for (const StoredRead& read : reads) {
        const std::vector<std::string> cells = HistoryRow(read, format, SystemCountryNames());
        const auto at = static_cast<std::time_t>(read.time);
        std::tm local{};
        localtime_r(&at, &local);
        lxw_datetime when{};
        when.year = local.tm_year + 1900;
        when.month = local.tm_mon + 1;
        when.day = local.tm_mday;
        when.hour = local.tm_hour;
        when.min = local.tm_min;
        when.sec = local.tm_sec;
        worksheet_write_datetime(sheet, row, 0, &when, dateFormat);
        // Every other cell is text: a chip number never becomes a number.
        for (std::size_t c = 1; c < cells.size(); ++c) {
            if (!cells[c].empty()) {
                worksheet_write_string(sheet, row, static_cast<lxw_col_t>(c), cells[c].c_str(),
                                       nullptr);
            }
        }
        ++row;
    }
    const lxw_error closed = workbook_close(book);
    std::error_code ec;
    if (closed != LXW_NO_ERROR) {
        error = "cannot write " + file.string() + ": " + lxw_strerror(closed);
        std::filesystem::remove(temporary, ec);
        return false;
    }
    std::filesystem::rename(temporary, file, ec);
    if (ec) {
        error = "cannot write " + file.string() + ": " + ec.message();
        std::filesystem::remove(temporary, ec);
        return false;
    }
    return true;
}

std::string HistoryLine(const StoredRead& read) {
    return IsoLocalTime(read.time) + '\t' + read.scanner + '\t' + read.text + '\t' +
           ChipKindName(read.kind) + '\t' + YesNo(read.uploaded) + '\t' + YesNo(read.missing);
}

} // namespace tallybird
