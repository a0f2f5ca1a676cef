#pragma once

#include "base/chip_format.h"
#include "desktop/dialogs.h"
#include "model/settings.h"
#include "runtime/history_store.h"

#include <QDialog>

#include <filesystem>
#include <memory>
#include <vector>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QSortFilterProxyModel;
class QStandardItemModel;
class QTableView;
class QTimer;

namespace tallybird {

// File > History...: every session kept in the chip history on the left,
// the chips of the chosen sessions on the right, with a search that takes a
// chip in any format, a "missing only" filter and a date range; and the
// exports. The history file is opened only when the window opens.
class HistoryWindow final : public QDialog {
    Q_OBJECT

public:
    HistoryWindow(const std::filesystem::path& historyFile, Settings& settings, Dialogs& dialogs,
                  QWidget* parent = nullptr);
    ~HistoryWindow() override;

    // Reads the sessions again with the filters as they stand.
    void Refresh();
    void ExportCsv();
    void ExportSpreadsheet();

    // What the reads pane shows, in its current order: one row per read.
    int ReadRowCount() const;
    QString ReadCell(int row, int column) const;
    int SessionRowCount() const;
    // Typed text waits for a pause before it is searched.
    bool SearchPending() const;

    // Read columns.
    enum ReadColumn {
        kTimeColumn,
        kScannerColumn,
        kChipColumn,
        kReceivedColumn,
        kKindColumn,
        kCountryColumn,
        kUploadedColumn,
        kMissingColumn,
        kNoteColumn,
        kReadColumns
    };

private:
    void BuildControls();
    void ShowReads();
    HistoryFilter Filter() const;
    ChipFormat Format() const;
    void Export(bool spreadsheet);

    std::unique_ptr<HistoryStore> store_;
    Settings& settings_;
    Dialogs& dialogs_;
    std::vector<StoredSession> sessions_;

    QLineEdit* search_ = nullptr;
    QCheckBox* missingOnly_ = nullptr;
    QCheckBox* dateRange_ = nullptr;
    QDateEdit* from_ = nullptr;
    QDateEdit* to_ = nullptr;
    QComboBox* format_ = nullptr;
    QLabel* status_ = nullptr;
    QTimer* searchDelay_ = nullptr;
    QTableView* sessionView_ = nullptr;
    QTableView* readView_ = nullptr;
    QStandardItemModel* sessionModel_ = nullptr;
    QStandardItemModel* readModel_ = nullptr;
    QSortFilterProxyModel* sessionSort_ = nullptr;
    QSortFilterProxyModel* readSort_ = nullptr;
};

} // namespace tallybird
