#pragma once

#include "base/chip_format.h"
#include "model/session_record.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QSqlError;

namespace tallybird {

// The chip history's file in the data folder.
std::filesystem::path HistoryFile(const std::filesystem::path& dataFolder);

// Which sessions and reads a look at the history takes in.
struct HistoryFilter {
    // Sessions that started at or after `since` and before `until` (seconds
    // since 1970).
    std::optional<std::int64_t> since;
    std::optional<std::int64_t> until;
    std::optional<std::int64_t> session; // one session by its id
    // A chip in any format, or part of a received text.
    std::string search;
    bool missingOnly = false;
};

struct StoredSession {
    std::int64_t id = 0;
    SessionRecord record; // without its reads
    int chipsRead = 0;
    int chipsUploaded = 0;
    int chipsMissing = 0;
};

struct StoredRead {
    std::int64_t session = 0;
    int position = 0;      // order within its session, from 0
    std::int64_t time = 0; // when its session started
    std::string scanner;
    std::string text; // as received
    ChipKind kind = ChipKind::Other;
    bool uploaded = false;
    bool missing = false;
    // How its session ended, and why when it failed.
    std::string end;
    std::string step;
    std::string reason;
};

// The chip history: an SQLite file (write-ahead log) with the sessions and
// every chip each of them read. Nothing is opened until it is first used; one
// object belongs to the thread that uses it.
class HistoryStore {
public:
    explicit HistoryStore(std::filesystem::path file);
    ~HistoryStore();
    HistoryStore(const HistoryStore&) = delete;
    HistoryStore& operator=(const HistoryStore&) = delete;

    // Opens the file, creating it or bringing its schema up to date. A file
    // that is not a sound database is moved aside under a time-stamped name
    // and a new history started (MovedAside() names it).
    bool Open();
    // The session and its reads in one transaction: all of it or nothing.
    bool Append(const SessionRecord& session);

    // Newest first.
    std::vector<StoredSession> Sessions(const HistoryFilter& filter);
    // In session order, then in the order the scanner held them.
    std::vector<StoredRead> Reads(const HistoryFilter& filter);

    const std::string& Error() const { return error_; }
    const std::optional<std::filesystem::path>& MovedAside() const { return movedAside_; }

    // The schema version this program writes.
    static int SchemaVersion();

private:
    bool OpenConnection();
    void CloseConnection();
    bool MoveAside();
    bool Migrate();
    bool Fail(const std::string& what, const QSqlError& error);

    std::filesystem::path file_;
    std::string connection_;
    bool open_ = false;
    std::string error_;
    // The last failure was SQLite finding the file damaged or no database.
    bool damaged_ = false;
    std::optional<std::filesystem::path> movedAside_;
};

// Keeps a finished session in the history at `file`. Never throws and never
// fails the session: a reason why it could not goes to the log. `tellUser`
// hears once that a damaged history was moved aside.
void KeepInHistory(const std::filesystem::path& file, const SessionRecord& session,
                   const std::function<void(const std::string&)>& tellUser);

// ISO 8601 local time with its offset: "2026-12-07T14:05:00+01:00".
std::string IsoLocalTime(std::int64_t secondsSince1970);
// Local midnight at the start of "YYYY-MM-DD", or of the day `laterDays`
// after it; nothing for another text.
std::optional<std::int64_t> LocalDayStart(const std::string& date, int laterDays = 0);

} // namespace tallybird
