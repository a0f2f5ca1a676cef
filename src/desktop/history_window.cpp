#include "desktop/history_window.h"

#include "runtime/history_export.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QStandardItemModel>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <set>

namespace tallybird {
namespace {

constexpr int kSortRole = Qt::UserRole + 1;
constexpr int kSessionIdRole = Qt::UserRole + 2;
constexpr int kSearchDelay = 250; // ms
// More rows than anyone reads make the window slow; the exports take all.
constexpr std::size_t kMaxRowsShown = 50000;

QString ToQ(const std::string& text) {
    return QString::fromStdString(text);
}

QString LocalTimeText(std::int64_t seconds) {
    return QDateTime::fromSecsSinceEpoch(seconds).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

QStandardItem* Cell(const QString& text, const QVariant& sortKey = {}) {
    auto* item = new QStandardItem(text);
    item->setEditable(false);
    item->setData(sortKey.isValid() ? sortKey : QVariant(text), kSortRole);
    return item;
}

QSortFilterProxyModel* Sorted(QStandardItemModel* model, QObject* parent) {
    auto* proxy = new QSortFilterProxyModel(parent);
    proxy->setSourceModel(model);
    proxy->setSortRole(kSortRole);
    return proxy;
}

QTableView* Table(QSortFilterProxyModel* model, QWidget* parent, const char* name) {
    auto* view = new QTableView(parent);
    view->setObjectName(QString::fromLatin1(name));
    view->setModel(model);
    view->setSortingEnabled(true);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->verticalHeader()->hide();
    view->horizontalHeader()->setStretchLastSection(true);
    return view;
}

} // namespace

HistoryWindow::HistoryWindow(const std::filesystem::path& historyFile, Settings& settings,
                             Dialogs& dialogs, QWidget* parent)
    : QDialog(parent), store_(std::make_unique<HistoryStore>(historyFile)), settings_(settings),
      dialogs_(dialogs) {
    setObjectName(QStringLiteral("frmHistory"));
    setWindowTitle(QStringLiteral("Chip History"));
    BuildControls();
    Refresh();
}

HistoryWindow::~HistoryWindow() = default;

void HistoryWindow::BuildControls() {
    auto* layout = new QVBoxLayout(this);

    auto* filters = new QHBoxLayout;
    search_ = new QLineEdit(this);
    search_->setObjectName(QStringLiteral("txtSearch"));
    search_->setPlaceholderText(QStringLiteral("Find a chip (any format)"));
    search_->setClearButtonEnabled(true);
    missingOnly_ = new QCheckBox(QStringLiteral("&Missing only"), this);
    missingOnly_->setObjectName(QStringLiteral("chkMissing"));
    dateRange_ = new QCheckBox(QStringLiteral("&From"), this);
    dateRange_->setObjectName(QStringLiteral("chkDates"));
    from_ = new QDateEdit(QDate::currentDate().addMonths(-1), this);
    from_->setObjectName(QStringLiteral("dateFrom"));
    to_ = new QDateEdit(QDate::currentDate(), this);
    to_->setObjectName(QStringLiteral("dateTo"));
    for (QDateEdit* date : {from_, to_}) {
        date->setCalendarPopup(true);
        date->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
        date->setEnabled(false);
    }
    format_ = new QComboBox(this);
    format_->setObjectName(QStringLiteral("cboChipFormat"));
    format_->addItem(QStringLiteral("15 digits"), QStringLiteral("Digits"));
    format_->addItem(QStringLiteral("Grouped"), QStringLiteral("Grouped"));
    format_->addItem(QStringLiteral("Dot-hex"), QStringLiteral("DotHex"));
    format_->setCurrentIndex(format_->findData(
        QString::fromLatin1(ChipFormatName(ChipFormatFromName(settings_.ChipFormat())))));
    auto* searchLabel = new QLabel(QStringLiteral("&Search:"), this);
    searchLabel->setBuddy(search_);
    filters->addWidget(searchLabel);
    filters->addWidget(search_, 1);
    filters->addWidget(missingOnly_);
    filters->addWidget(dateRange_);
    filters->addWidget(from_);
    filters->addWidget(new QLabel(QStringLiteral("to"), this));
    filters->addWidget(to_);
    filters->addWidget(new QLabel(QStringLiteral("Chip numbers:"), this));
    filters->addWidget(format_);
    layout->addLayout(filters);

    sessionModel_ = new QStandardItemModel(0, 5, this);
    sessionModel_->setHorizontalHeaderLabels({QStringLiteral("Started"), QStringLiteral("Scanner"),
                                              QStringLiteral("Ended"), QStringLiteral("Chips"),
                                              QStringLiteral("Missing")});
    readModel_ = new QStandardItemModel(0, kReadColumns, this);
    readModel_->setHorizontalHeaderLabels(
        {QStringLiteral("Time"), QStringLiteral("Scanner"), QStringLiteral("Chip number"),
         QStringLiteral("As received"), QStringLiteral("Kind"), QStringLiteral("Country"),
         QStringLiteral("Uploaded"), QStringLiteral("Missing"), QStringLiteral("Note")});
    sessionSort_ = Sorted(sessionModel_, this);
    readSort_ = Sorted(readModel_, this);

    auto* split = new QSplitter(this);
    sessionView_ = Table(sessionSort_, split, "lstSessions");
    sessionView_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    readView_ = Table(readSort_, split, "lstReads");
    // Newest session first; its chips in the order the scanner held them.
    sessionView_->sortByColumn(0, Qt::DescendingOrder);
    readView_->sortByColumn(kTimeColumn, Qt::AscendingOrder);
    split->addWidget(sessionView_);
    split->addWidget(readView_);
    split->setStretchFactor(1, 2);
    split->setSizes({430, 640});
    layout->addWidget(split, 1);

    auto* buttons = new QHBoxLayout;
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("lblStatus"));
    auto* csv = new QPushButton(QStringLiteral("Export &CSV..."), this);
    auto* xlsx = new QPushButton(QStringLiteral("Export &Spreadsheet..."), this);
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    buttons->addWidget(status_, 1);
    buttons->addWidget(csv);
    buttons->addWidget(xlsx);
    buttons->addWidget(close);
    layout->addLayout(buttons);
    resize(1100, 600);

    // A search runs once typing pauses: a part of a text is looked for in
    // every read.
    searchDelay_ = new QTimer(this);
    searchDelay_->setSingleShot(true);
    searchDelay_->setInterval(kSearchDelay);
    connect(searchDelay_, &QTimer::timeout, this, &HistoryWindow::Refresh);
    connect(search_, &QLineEdit::textChanged, searchDelay_, qOverload<>(&QTimer::start));
    connect(search_, &QLineEdit::returnPressed, this, [this] {
        searchDelay_->stop();
        Refresh();
    });
    connect(missingOnly_, &QCheckBox::toggled, this, &HistoryWindow::Refresh);
    connect(dateRange_, &QCheckBox::toggled, this, [this](bool on) {
        from_->setEnabled(on);
        to_->setEnabled(on);
        Refresh();
    });
    connect(from_, &QDateEdit::dateChanged, this, &HistoryWindow::Refresh);
    connect(to_, &QDateEdit::dateChanged, this, &HistoryWindow::Refresh);
    connect(format_, &QComboBox::currentIndexChanged, this, [this] {
        settings_.SetChipFormat(format_->currentData().toString().toStdString());
        ShowReads();
    });
    connect(sessionView_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &HistoryWindow::ShowReads);
    connect(csv, &QPushButton::clicked, this, &HistoryWindow::ExportCsv);
    connect(xlsx, &QPushButton::clicked, this, &HistoryWindow::ExportSpreadsheet);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
}

ChipFormat HistoryWindow::Format() const {
    return ChipFormatFromName(format_->currentData().toString().toStdString());
}

HistoryFilter HistoryWindow::Filter() const {
    HistoryFilter filter;
    filter.search = search_->text().trimmed().toStdString();
    filter.missingOnly = missingOnly_->isChecked();
    if (dateRange_->isChecked()) {
        filter.since = from_->date().startOfDay().toSecsSinceEpoch();
        filter.until = to_->date().addDays(1).startOfDay().toSecsSinceEpoch();
    }
    return filter;
}

void HistoryWindow::Refresh() {
    const HistoryFilter filter = Filter();
    sessions_ = store_->Sessions(filter);
    const QSignalBlocker blocker(sessionView_->selectionModel());
    sessionModel_->removeRows(0, sessionModel_->rowCount());
    for (const StoredSession& s : sessions_) {
        QString ended = ToQ(s.record.end);
        if (!s.record.step.empty()) {
            ended += QStringLiteral(" at ") + ToQ(s.record.step);
        }
        QList<QStandardItem*> row = {
            Cell(LocalTimeText(s.record.started), QVariant::fromValue<qlonglong>(s.record.started)),
            Cell(ToQ(s.record.scanner)), Cell(ended),
            Cell(QString::number(s.chipsRead), s.chipsRead),
            Cell(QString::number(s.chipsMissing), s.chipsMissing)};
        row[0]->setData(QVariant::fromValue<qlonglong>(s.id), kSessionIdRole);
        if (!s.record.reason.empty()) {
            row[2]->setToolTip(ToQ(s.record.reason));
        }
        sessionModel_->appendRow(row);
    }
    sessionView_->resizeColumnsToContents();
    // A search or a filter shows its finds in every session; otherwise the
    // newest session.
    if (!filter.search.empty() || filter.missingOnly) {
        sessionView_->selectAll();
    } else if (sessionSort_->rowCount() > 0) {
        sessionView_->selectRow(0);
    }
    if (!store_->Error().empty()) {
        status_->setText(QStringLiteral("The chip history cannot be read: ") +
                         ToQ(store_->Error()));
    }
    ShowReads();
}

void HistoryWindow::ShowReads() {
    std::set<std::int64_t> chosen;
    for (const QModelIndex& index : sessionView_->selectionModel()->selectedRows()) {
        chosen.insert(sessionSort_->data(index, kSessionIdRole).toLongLong());
    }
    HistoryFilter filter = Filter();
    std::vector<StoredRead> reads;
    if (!chosen.empty() && chosen.size() == sessions_.size()) {
        reads = store_->Reads(filter);
    } else {
        for (const std::int64_t id : chosen) {
            filter.session = id;
            auto some = store_->Reads(filter);
            reads.insert(reads.end(), some.begin(), some.end());
        }
    }
    const std::size_t found = reads.size();
    if (reads.size() > kMaxRowsShown) {
        reads.resize(kMaxRowsShown);
    }
    const ChipFormat format = Format();
    const CountryNames& names = SystemCountryNames();
    readModel_->removeRows(0, readModel_->rowCount());
    readModel_->setRowCount(static_cast<int>(reads.size()));
    int row = 0;
    for (const StoredRead& read : reads) {
        const bool listed = ShownInChipList(read.text);
        const QString chip = ToQ(FormatChipText(read.text, format));
        const QVariant order = QVariant::fromValue<qlonglong>(read.time * 10000 + read.position);
        readModel_->setItem(row, kTimeColumn, Cell(LocalTimeText(read.time), order));
        readModel_->setItem(row, kScannerColumn, Cell(ToQ(read.scanner)));
        readModel_->setItem(row, kChipColumn, Cell(chip));
        readModel_->setItem(row, kReceivedColumn, Cell(ToQ(read.text)));
        readModel_->setItem(row, kKindColumn, Cell(QString::fromLatin1(ChipKindName(read.kind))));
        readModel_->setItem(row, kCountryColumn, Cell(ToQ(ChipCountry(read.text, names))));
        readModel_->setItem(row, kUploadedColumn,
                            Cell(read.uploaded ? QStringLiteral("Yes") : QStringLiteral("No")));
        readModel_->setItem(row, kMissingColumn,
                            Cell(read.missing ? QStringLiteral("Yes") : QString()));
        // The main window's list gives these no row.
        readModel_->setItem(row, kNoteColumn,
                            Cell(listed ? QString() : QStringLiteral("not in the chip list")));
        if (!listed) {
            for (int column = 0; column < kReadColumns; ++column) {
                QFont font = readModel_->item(row, column)->font();
                font.setItalic(true);
                readModel_->item(row, column)->setFont(font);
            }
        }
        ++row;
    }
    readView_->resizeColumnsToContents();
    if (!store_->Error().empty()) {
        return;
    }
    if (found > reads.size()) {
        status_->setText(QStringLiteral("%1 sessions; the first %2 of %3 chips shown (the exports "
                                        "hold them all)")
                             .arg(sessions_.size())
                             .arg(reads.size())
                             .arg(found));
    } else {
        status_->setText(
            QStringLiteral("%1 sessions, %2 chips shown").arg(sessions_.size()).arg(found));
    }
}

int HistoryWindow::ReadRowCount() const {
    return readSort_->rowCount();
}

QString HistoryWindow::ReadCell(int row, int column) const {
    return readSort_->data(readSort_->index(row, column)).toString();
}

bool HistoryWindow::SearchPending() const {
    return searchDelay_->isActive();
}

int HistoryWindow::SessionRowCount() const {
    return sessionSort_->rowCount();
}

void HistoryWindow::ExportCsv() {
    Export(false);
}

void HistoryWindow::ExportSpreadsheet() {
    Export(true);
}

// Every chip the filters let through, in all listed sessions.
void HistoryWindow::Export(bool spreadsheet) {
    const std::string stamp =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd")).toStdString();
    const auto file = dialogs_.SaveFileName(
        this, "Export Chip History", "chip_history_" + stamp + (spreadsheet ? ".xlsx" : ".csv"),
        spreadsheet ? "Spreadsheet (*.xlsx)" : "CSV (*.csv)");
    if (!file) {
        return;
    }
    const std::vector<StoredRead> reads = store_->Reads(Filter());
    std::string error;
    const bool written = spreadsheet ? WriteHistoryXlsx(*file, reads, Format(), error)
                                     : WriteHistoryCsv(*file, reads, Format(), error);
    if (!written) {
        dialogs_.Message(this, "Export Chip History", error, DialogIcon::Warning,
                         DialogButtons::Ok);
    }
}

} // namespace tallybird
