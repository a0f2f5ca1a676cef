#pragma once

#include <ctime>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

namespace tallybird {

// The history lines of every session since the program started; what Save
// writes. Sessions append from the worker while the window may save.
class ExportText {
public:
    void Append(const std::string& lines);
    std::string Text() const;

private:
    mutable std::mutex mutex_;
    std::string text_;
};

// Copy: the bare chip numbers of the selected rows in list order, each
// followed by CR LF (empty when nothing is selected).
std::string CopyText(const std::vector<std::string>& rowChipNumbers,
                     const std::vector<bool>& selected);

// The mark a list row ends with ("Yes" for a missing animal, empty
// otherwise): what follows the row's chip number, without the spaces that
// line it up in the row text.
std::string RowMark(const std::string& row, const std::string& chipNumber);

// The name the save dialog proposes: "dd_mm_yy_hh_mm_Chip_Numbers".
std::string ProposedSaveName(const std::tm& now);

// Save: the export text and one CR LF, in a file created or replaced whole
// (never written through a symbolic link or into a FIFO). False on any
// error; the caller says nothing about it.
bool SaveExportText(const std::filesystem::path& file, const std::string& exportText);

} // namespace tallybird
