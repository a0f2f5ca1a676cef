#include "runtime/chip_export.h"

#include "platform/atomic_file.h"

#include <cstdio>

namespace tallybird {

void ExportText::Append(const std::string& lines) {
    std::lock_guard lock(mutex_);
    text_ += lines;
}

std::string ExportText::Text() const {
    std::lock_guard lock(mutex_);
    return text_;
}

std::string CopyText(const std::vector<std::string>& rowChipNumbers,
                     const std::vector<bool>& selected) {
    std::string text;
    for (std::size_t i = 0; i < rowChipNumbers.size() && i < selected.size(); ++i) {
        if (selected[i]) {
            text += rowChipNumbers[i] + "\r\n";
        }
    }
    return text;
}

std::string RowMark(const std::string& row, const std::string& chipNumber) {
    if (!row.starts_with(chipNumber)) {
        return {};
    }
    const std::size_t first = row.find_first_not_of(' ', chipNumber.size());
    if (first == std::string::npos) {
        return {};
    }
    const std::size_t last = row.find_last_not_of(' ');
    return row.substr(first, last - first + 1);
}

std::string ProposedSaveName(const std::tm& now) {
    char name[64];
    std::snprintf(name, sizeof name, "%02d_%02d_%02d_%02d_%02d_Chip_Numbers", now.tm_mday,
                  now.tm_mon + 1, now.tm_year % 100, now.tm_hour, now.tm_min);
    return name;
}

bool SaveExportText(const std::filesystem::path& file, const std::string& exportText) {
    if (file.empty()) {
        return false;
    }
    const std::string text = exportText + "\r\n";
    return WriteFileAtomically(
        file, ByteView(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

} // namespace tallybird
