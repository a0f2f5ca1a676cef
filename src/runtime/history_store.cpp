#include "runtime/history_store.h"

#include <QLoggingCategory>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

#include <atomic>
#include <cstdio>
#include <ctime>
#include <exception>
#include <system_error>
#include <utility>

Q_LOGGING_CATEGORY(lcHistory, "tallybird.history")

namespace tallybird {
namespace {

// SQLite's result codes for a file that is not, or no longer, a database.
constexpr const char* kCorruptCode = "11";
constexpr const char* kNotADatabaseCode = "26";

// Each schema version's statements; the file's user_version counts the
// steps already taken. Add a step, never edit one that has shipped.
const std::vector<std::vector<const char*>>& Migrations() {
    static const std::vector<std::vector<const char*>> steps = {
        {
            "CREATE TABLE sessions ("
            " id INTEGER PRIMARY KEY,"
            " started INTEGER NOT NULL,"
            " ended INTEGER NOT NULL,"
            " scanner TEXT NOT NULL,"
            " version TEXT NOT NULL,"
            " end_kind TEXT NOT NULL,"
            " step TEXT NOT NULL,"
            " reason TEXT NOT NULL,"
            " chips_read INTEGER NOT NULL,"
            " chips_uploaded INTEGER NOT NULL,"
            " chips_missing INTEGER NOT NULL)",
            "CREATE INDEX sessions_started ON sessions(started)",
            // chip_key: country * 10^12 + national number of a decimal or
            // hexadecimal read, so a search in any format is one index look-up.
            "CREATE TABLE reads ("
            " session INTEGER NOT NULL REFERENCES sessions(id),"
            " position INTEGER NOT NULL,"
            " chip_text TEXT NOT NULL,"
            " kind INTEGER NOT NULL,"
            " chip_key INTEGER,"
            " uploaded INTEGER NOT NULL,"
            " missing INTEGER NOT NULL,"
            " PRIMARY KEY (session, position)) WITHOUT ROWID",
            "CREATE INDEX reads_chip ON reads(chip_key) WHERE chip_key IS NOT NULL",
        },
    };
    return steps;
}

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

std::string S(const QVariant& value) {
    return value.toString().toStdString();
}

bool IsDamaged(const QSqlError& error) {
    const QString code = error.nativeErrorCode();
    return code == QLatin1String(kCorruptCode) || code == QLatin1String(kNotADatabaseCode);
}

std::string NextConnectionName() {
    static std::atomic<int> counter{0};
    return "tallybird-history-" + std::to_string(++counter);
}

std::string StampText(std::time_t now) {
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    return text;
}

// The WHERE clause of a filter over reads `r` joined to sessions `s`, with
// its values in order.
struct Clause {
    QString sql;
    QVariantList values;
};

// Both clauses must hold.
Clause BothOf(Clause first, const Clause& second) {
    if (second.sql.isEmpty()) {
        return first;
    }
    first.sql = first.sql.isEmpty() ? second.sql : first.sql + QStringLiteral(" AND ") + second.sql;
    first.values += second.values;
    return first;
}

// Prepares `select` with the clause's terms and values and the order, and
// runs it.
bool RunSelect(QSqlQuery& query, const QString& select, const Clause& where, const QString& order) {
    query.setForwardOnly(true);
    query.prepare(
        select + (where.sql.isEmpty() ? QString() : QStringLiteral(" WHERE ") + where.sql) + order);
    for (const QVariant& value : where.values) {
        query.addBindValue(value);
    }
    return query.exec();
}

Clause SessionClause(const HistoryFilter& filter) {
    Clause clause;
    QStringList terms;
    if (filter.since) {
        terms << QStringLiteral("s.started >= ?");
        clause.values << QVariant::fromValue<qlonglong>(*filter.since);
    }
    if (filter.until) {
        terms << QStringLiteral("s.started < ?");
        clause.values << QVariant::fromValue<qlonglong>(*filter.until);
    }
    if (filter.session) {
        terms << QStringLiteral("s.id = ?");
        clause.values << QVariant::fromValue<qlonglong>(*filter.session);
    }
    clause.sql = terms.join(QStringLiteral(" AND "));
    return clause;
}

Clause ReadClause(const HistoryFilter& filter) {
    Clause clause;
    QStringList terms;
    if (filter.missingOnly) {
        terms << QStringLiteral("r.missing = 1");
    }
    if (const auto chip = ParseChipQuery(filter.search)) {
        terms << QStringLiteral("r.chip_key = ?");
        clause.values << QVariant::fromValue<qlonglong>(chip->Key());
    } else if (!filter.search.empty()) {
        QString pattern = Q(filter.search).trimmed();
        pattern.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
            .replace(QLatin1Char('%'), QStringLiteral("\\%"))
            .replace(QLatin1Char('_'), QStringLiteral("\\_"));
        terms << QStringLiteral("r.chip_text LIKE ? ESCAPE '\\'");
        clause.values << QStringLiteral("%") + pattern + QStringLiteral("%");
    }
    clause.sql = terms.join(QStringLiteral(" AND "));
    return clause;
}

bool Filters(const HistoryFilter& filter) {
    return filter.missingOnly || !filter.search.empty();
}

} // namespace

std::filesystem::path HistoryFile(const std::filesystem::path& dataFolder) {
    return dataFolder / "history.sqlite";
}

int HistoryStore::SchemaVersion() {
    return static_cast<int>(Migrations().size());
}

HistoryStore::HistoryStore(std::filesystem::path file)
    : file_(std::move(file)), connection_(NextConnectionName()) {}

HistoryStore::~HistoryStore() {
    CloseConnection();
}

bool HistoryStore::Fail(const std::string& what, const QSqlError& error) {
    error_ = what + ": " + error.text().toStdString();
    damaged_ = IsDamaged(error);
    return false;
}

void HistoryStore::CloseConnection() {
    if (QSqlDatabase::contains(Q(connection_))) {
        {
            QSqlDatabase db = QSqlDatabase::database(Q(connection_), false);
            db.close();
        }
        QSqlDatabase::removeDatabase(Q(connection_));
    }
    open_ = false;
}

bool HistoryStore::OpenConnection() {
    CloseConnection();
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), Q(connection_));
    if (!db.isValid()) {
        error_ = "the SQLite driver of Qt SQL is not installed";
        return false;
    }
    db.setDatabaseName(QString::fromStdString(file_.string()));
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=1000"));
    if (!db.open()) {
        return Fail("cannot open " + file_.string(), db.lastError());
    }
    return true;
}

bool HistoryStore::MoveAside() {
    const std::filesystem::path aside =
        file_.string() + ".damaged-" + StampText(std::time(nullptr));
    CloseConnection();
    std::error_code ec;
    std::filesystem::rename(file_, aside, ec);
    if (ec) {
        error_ = "cannot move the damaged history aside: " + ec.message();
        return false;
    }
    // Its write-ahead log belongs to the damaged file alone.
    for (const char* suffix : {"-wal", "-shm"}) {
        std::filesystem::rename(file_.string() + suffix, aside.string() + suffix, ec);
    }
    movedAside_ = aside;
    qCWarning(lcHistory) << "the chip history was damaged; moved aside to" << aside.c_str();
    return true;
}

bool HistoryStore::Migrate() {
    QSqlDatabase db = QSqlDatabase::database(Q(connection_), false);
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next()) {
        return Fail("cannot read the history's schema version", query.lastError());
    }
    const int version = query.value(0).toInt();
    query.finish();
    if (version > SchemaVersion()) {
        error_ =
            "the history was written by a newer version (schema " + std::to_string(version) + ")";
        return false;
    }
    if (!query.exec(QStringLiteral("PRAGMA journal_mode=WAL")) ||
        !query.exec(QStringLiteral("PRAGMA synchronous=NORMAL"))) {
        return Fail("cannot set up the history's journal", query.lastError());
    }
    for (int step = version; step < SchemaVersion(); ++step) {
        if (!db.transaction()) {
            return Fail("cannot start the schema change", db.lastError());
        }
        for (const char* statement : Migrations()[static_cast<std::size_t>(step)]) {
            if (!query.exec(QString::fromLatin1(statement))) {
                const QSqlError error = query.lastError();
                db.rollback();
                return Fail("cannot change the history's schema", error);
            }
        }
        if (!query.exec(QStringLiteral("PRAGMA user_version=%1").arg(step + 1)) || !db.commit()) {
            const QSqlError error = query.lastError();
            db.rollback();
            return Fail("cannot change the history's schema", error);
        }
    }
    return true;
}

bool HistoryStore::Open() {
    if (open_) {
        return true;
    }
    error_.clear();
    // Nothing is written through a symbolic link, nor into a directory, a
    // FIFO or a device that has the history's name.
    std::error_code ec;
    const auto status = std::filesystem::symlink_status(file_, ec);
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
        error_ = file_.string() + " is not a regular file";
        return false;
    }
    if (!OpenConnection()) {
        return false;
    }
    // Only SQLite's own verdict moves a file aside: a busy or unreadable
    // history is left as it is.
    damaged_ = false;
    if (!Migrate()) {
        if (!damaged_ || !MoveAside() || !OpenConnection() || !Migrate()) {
            CloseConnection();
            return false;
        }
    }
    open_ = true;
    return true;
}

bool HistoryStore::Append(const SessionRecord& session) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!Open()) {
            return false;
        }
        QSqlDatabase db = QSqlDatabase::database(Q(connection_), false);
        if (!db.transaction()) {
            return Fail("cannot start writing the history", db.lastError());
        }
        int uploaded = 0;
        int missing = 0;
        for (const ReadRecord& read : session.reads) {
            uploaded += read.uploaded ? 1 : 0;
            missing += read.missing ? 1 : 0;
        }
        QSqlQuery insert(db);
        insert.prepare(QStringLiteral(
            "INSERT INTO sessions (started, ended, scanner, version, end_kind, step, reason,"
            " chips_read, chips_uploaded, chips_missing) VALUES (?,?,?,?,?,?,?,?,?,?)"));
        insert.addBindValue(QVariant::fromValue<qlonglong>(session.started));
        insert.addBindValue(QVariant::fromValue<qlonglong>(session.ended));
        insert.addBindValue(Q(session.scanner));
        insert.addBindValue(Q(session.version));
        insert.addBindValue(Q(session.end));
        insert.addBindValue(Q(session.step));
        insert.addBindValue(Q(session.reason));
        insert.addBindValue(static_cast<int>(session.reads.size()));
        insert.addBindValue(uploaded);
        insert.addBindValue(missing);
        bool ok = insert.exec();
        QSqlError error = insert.lastError();
        if (ok) {
            const qlonglong id = insert.lastInsertId().toLongLong();
            QSqlQuery row(db);
            ok = row.prepare(QStringLiteral(
                "INSERT INTO reads (session, position, chip_text, kind, chip_key, uploaded,"
                " missing) VALUES (?,?,?,?,?,?,?)"));
            for (std::size_t i = 0; ok && i < session.reads.size(); ++i) {
                const ReadRecord& read = session.reads[i];
                const auto code = ChipCodeOfText(read.text);
                row.bindValue(0, id);
                row.bindValue(1, static_cast<int>(i));
                row.bindValue(2, Q(read.text));
                row.bindValue(3, static_cast<int>(ClassifyChipText(read.text)));
                row.bindValue(4, code ? QVariant::fromValue<qlonglong>(code->Key()) : QVariant());
                row.bindValue(5, read.uploaded ? 1 : 0);
                row.bindValue(6, read.missing ? 1 : 0);
                ok = row.exec();
            }
            error = row.lastError();
        }
        if (ok && db.commit()) {
            return true;
        }
        if (ok) {
            error = db.lastError();
        }
        db.rollback();
        if (attempt == 0 && IsDamaged(error) && MoveAside()) {
            // The session goes into the new history.
            continue;
        }
        return Fail("cannot write the session into the history", error);
    }
    return false;
}

std::vector<StoredSession> HistoryStore::Sessions(const HistoryFilter& filter) {
    std::vector<StoredSession> sessions;
    if (!Open()) {
        return sessions;
    }
    Clause where = SessionClause(filter);
    if (Filters(filter)) {
        const Clause reads = ReadClause(filter);
        where = BothOf(
            std::move(where),
            {QStringLiteral("s.id IN (SELECT r.session FROM reads r WHERE ") + reads.sql + ")",
             reads.values});
    }
    QSqlQuery query(QSqlDatabase::database(Q(connection_), false));
    if (!RunSelect(query,
                   QStringLiteral("SELECT s.id, s.started, s.ended, s.scanner, s.version,"
                                  " s.end_kind, s.step, s.reason, s.chips_read,"
                                  " s.chips_uploaded, s.chips_missing FROM sessions s"),
                   where, QStringLiteral(" ORDER BY s.started DESC, s.id DESC"))) {
        Fail("cannot read the history", query.lastError());
        return sessions;
    }
    while (query.next()) {
        StoredSession s;
        s.id = query.value(0).toLongLong();
        s.record.started = query.value(1).toLongLong();
        s.record.ended = query.value(2).toLongLong();
        s.record.scanner = S(query.value(3));
        s.record.version = S(query.value(4));
        s.record.end = S(query.value(5));
        s.record.step = S(query.value(6));
        s.record.reason = S(query.value(7));
        s.chipsRead = query.value(8).toInt();
        s.chipsUploaded = query.value(9).toInt();
        s.chipsMissing = query.value(10).toInt();
        sessions.push_back(std::move(s));
    }
    return sessions;
}

std::vector<StoredRead> HistoryStore::Reads(const HistoryFilter& filter) {
    std::vector<StoredRead> reads;
    if (!Open()) {
        return reads;
    }
    const Clause where = BothOf(SessionClause(filter), ReadClause(filter));
    QSqlQuery query(QSqlDatabase::database(Q(connection_), false));
    if (!RunSelect(query,
                   QStringLiteral("SELECT r.session, r.position, s.started, s.scanner, r.chip_text,"
                                  " r.kind, r.uploaded, r.missing, s.end_kind, s.step, s.reason"
                                  " FROM reads r JOIN sessions s ON s.id = r.session"),
                   where, QStringLiteral(" ORDER BY s.started, r.session, r.position"))) {
        Fail("cannot read the history", query.lastError());
        return reads;
    }
    while (query.next()) {
        StoredRead r;
        r.session = query.value(0).toLongLong();
        r.position = query.value(1).toInt();
        r.time = query.value(2).toLongLong();
        r.scanner = S(query.value(3));
        r.text = S(query.value(4));
        r.kind = static_cast<ChipKind>(query.value(5).toInt());
        r.uploaded = query.value(6).toInt() != 0;
        r.missing = query.value(7).toInt() != 0;
        r.end = S(query.value(8));
        r.step = S(query.value(9));
        r.reason = S(query.value(10));
        reads.push_back(std::move(r));
    }
    return reads;
}

void KeepInHistory(const std::filesystem::path& file, const SessionRecord& session,
                   const std::function<void(const std::string&)>& tellUser) {
    try {
        HistoryStore store(file);
        const bool kept = store.Append(session);
        if (store.MovedAside() && tellUser) {
            tellUser("The chip history was damaged. It was moved aside to " +
                     store.MovedAside()->string() + " and a new history was started.");
        }
        if (!kept) {
            qCWarning(lcHistory).noquote()
                << "the session was not kept in the chip history:" << store.Error().c_str();
        }
    } catch (const std::exception& error) {
        qCWarning(lcHistory) << "the session was not kept in the chip history:" << error.what();
    }
}

std::string IsoLocalTime(std::int64_t secondsSince1970) {
    const auto at = static_cast<std::time_t>(secondsSince1970);
    std::tm local{};
    localtime_r(&at, &local);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    const long offset = local.tm_gmtoff;
    const long minutes = (offset < 0 ? -offset : offset) / 60;
    char zone[48];
    std::snprintf(zone, sizeof zone, "%c%02ld:%02ld", offset < 0 ? '-' : '+', minutes / 60,
                  minutes % 60);
    return std::string(text) + zone;
}

std::optional<std::int64_t> LocalDayStart(const std::string& date, int laterDays) {
    int year = 0;
    int month = 0;
    int day = 0;
    char end = 0;
    if (date.size() != 10 || date[4] != '-' || date[7] != '-' ||
        std::sscanf(date.c_str(), "%4d-%2d-%2d%c", &year, &month, &day, &end) != 3 || month < 1 ||
        month > 12 || day < 1 || day > 31) {
        return std::nullopt;
    }
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_isdst = -1;
    std::tm check = local;
    // mktime rolls 31 February over into March: such a date is no date.
    if (std::mktime(&check) == static_cast<std::time_t>(-1) || check.tm_mday != day) {
        return std::nullopt;
    }
    local.tm_mday = day + laterDays;
    const std::time_t at = std::mktime(&local);
    if (at == static_cast<std::time_t>(-1)) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(at);
}

} // namespace tallybird
