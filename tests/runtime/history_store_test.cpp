#include "runtime/history_store.h"

#include "support/test_support.h"

#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <gtest/gtest.h>

#include <thread>

#include <unistd.h>

namespace tallybird {
namespace {

using test::TempDir;

SessionRecord OneSession(std::int64_t started, std::vector<ReadRecord> reads) {
    SessionRecord s;
    s.started = started;
    s.ended = started + 40;
    s.scanner = "126590";
    s.version = "W2";
    s.end = "orderly end";
    s.reads = std::move(reads);
    return s;
}

std::vector<std::string> Texts(const std::vector<StoredRead>& reads) {
    std::vector<std::string> texts;
    for (const StoredRead& read : reads) {
        texts.push_back(read.text);
    }
    return texts;
}

// Every kind of read comes back as it was received, in scanner order, with
// its kind and both marks; a search in any format finds the chip.
TEST(HistoryStoreTest, KeepsEveryKindOfRead) {
    TempDir dir;
    const std::vector<ReadRecord> reads = {
        {"985141000123456", true, true}, {"1000000000000001", true, false},
        {"9A78563412", true, true},      {"123*188*016", true, false},
        {"123*188*24910", true, false},  {"9851410001234", true, false},
    };
    {
        HistoryStore store(HistoryFile(dir.Path()));
        ASSERT_TRUE(store.Append(OneSession(1765350000, reads))) << store.Error();
    }
    HistoryStore store(HistoryFile(dir.Path()));
    const auto stored = store.Reads({});
    ASSERT_EQ(stored.size(), reads.size()) << store.Error();
    const ChipKind kinds[] = {ChipKind::Decimal,    ChipKind::Decimal,    ChipKind::Hexadecimal,
                              ChipKind::ThreeGroup, ChipKind::ThreeGroup, ChipKind::Other};
    for (std::size_t i = 0; i < reads.size(); ++i) {
        EXPECT_EQ(stored[i].text, reads[i].text);
        EXPECT_EQ(stored[i].kind, kinds[i]) << reads[i].text;
        EXPECT_EQ(stored[i].uploaded, reads[i].uploaded);
        EXPECT_EQ(stored[i].missing, reads[i].missing) << reads[i].text;
        EXPECT_EQ(stored[i].position, static_cast<int>(i));
        EXPECT_EQ(stored[i].scanner, "126590");
        EXPECT_EQ(stored[i].time, 1765350000);
    }
    const auto sessions = store.Sessions({});
    ASSERT_EQ(sessions.size(), 1u);
    EXPECT_EQ(sessions[0].chipsRead, 6);
    EXPECT_EQ(sessions[0].chipsUploaded, 6);
    EXPECT_EQ(sessions[0].chipsMissing, 2);

    struct Search {
        std::string text;
        std::vector<std::string> found;
    };
    for (const Search& s : {
             Search{"985141000123456", {"985141000123456"}},
             Search{"985 141000123456", {"985141000123456"}},
             Search{"3D9.20D4432440", {"985141000123456"}},
             Search{"002.1A78563412", {"9A78563412"}},
             Search{"002 113688065042", {"9A78563412"}},
             Search{"1000000000000001", {"1000000000000001"}},
             Search{"123*188", {"123*188*016", "123*188*24910"}},
             Search{"24910", {"123*188*24910"}},
             Search{"985141000123457", {}},
             Search{"50%", {}},
         }) {
        HistoryFilter filter;
        filter.search = s.text;
        EXPECT_EQ(Texts(store.Reads(filter)), s.found) << s.text;
    }
    HistoryFilter missing;
    missing.missingOnly = true;
    EXPECT_EQ(Texts(store.Reads(missing)),
              (std::vector<std::string>{"985141000123456", "9A78563412"}));
}

TEST(HistoryStoreTest, SessionsNewestFirstFilteredByTimeAndChip) {
    TempDir dir;
    HistoryStore store(HistoryFile(dir.Path()));
    ASSERT_TRUE(store.Append(OneSession(1000, {{"985000000000001", true, false}})));
    SessionRecord failed = OneSession(2000, {{"985000000000002", false, false}});
    failed.end = "software error";
    failed.step = "upscan";
    failed.reason = "HTTP 500; \"upscan.php\" — refusé";
    ASSERT_TRUE(store.Append(failed));
    ASSERT_TRUE(store.Append(OneSession(3000, {})));

    const auto all = store.Sessions({});
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].record.started, 3000);
    EXPECT_EQ(all[1].record.reason, failed.reason);
    EXPECT_EQ(all[1].record.step, "upscan");
    EXPECT_EQ(all[1].chipsUploaded, 0);
    EXPECT_EQ(all[2].chipsRead, 1);

    HistoryFilter range;
    range.since = 2000;
    range.until = 3000;
    const auto inRange = store.Sessions(range);
    ASSERT_EQ(inRange.size(), 1u);
    EXPECT_EQ(inRange[0].record.started, 2000);
    EXPECT_EQ(Texts(store.Reads(range)), std::vector<std::string>{"985000000000002"});

    HistoryFilter chip;
    chip.search = "985 000000000001";
    const auto withChip = store.Sessions(chip);
    ASSERT_EQ(withChip.size(), 1u);
    EXPECT_EQ(withChip[0].record.started, 1000);
}

// A file that is not a database is moved aside under a time-stamped name,
// the session goes into a new history, and the user hears of it once.
TEST(HistoryStoreTest, DamagedFileIsMovedAsideAndTheUserToldOnce) {
    TempDir dir;
    const auto file = HistoryFile(dir.Path());
    const std::string garbage(8192, 'x');
    test::WriteTextFile(file, garbage);
    std::vector<std::string> notices;
    const auto tell = [&notices](const std::string& text) { notices.push_back(text); };
    KeepInHistory(file, OneSession(1000, {{"985000000000001", true, false}}), tell);
    KeepInHistory(file, OneSession(2000, {{"985000000000002", true, false}}), tell);
    ASSERT_EQ(notices.size(), 1u);

    std::vector<std::filesystem::path> aside;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        if (entry.path().filename().string().starts_with("history.sqlite.damaged-")) {
            aside.push_back(entry.path());
        }
    }
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_NE(notices[0].find(aside[0].string()), std::string::npos) << notices[0];
    const Bytes kept = test::ReadFile(aside[0]);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), garbage) << "the damaged file is kept as is";
    HistoryStore store(file);
    EXPECT_EQ(Texts(store.Reads({})),
              (std::vector<std::string>{"985000000000001", "985000000000002"}));
}

// Nothing can be written where the history should be: no exception, no
// notice, nothing moved; the reason goes to the log.
TEST(HistoryStoreTest, UnwritableHistoryIsLeftAlone) {
    TempDir dir;
    const auto file = HistoryFile(dir.Path());
    std::filesystem::create_directories(file);
    int notices = 0;
    KeepInHistory(file, OneSession(1000, {{"985000000000001", true, false}}),
                  [&notices](const std::string&) { ++notices; });
    EXPECT_EQ(notices, 0);
    EXPECT_TRUE(std::filesystem::is_directory(file));

    // Never written through a symbolic link: its target stays as it was.
    const auto elsewhere = dir / "elsewhere";
    std::filesystem::create_directories(elsewhere);
    test::WriteTextFile(elsewhere / "target", "");
    std::filesystem::create_directories(dir / "linked");
    std::filesystem::create_symlink(elsewhere / "target", HistoryFile(dir / "linked"));
    KeepInHistory(HistoryFile(dir / "linked"), OneSession(1000, {{"985000000000001", true, false}}),
                  [&notices](const std::string&) { ++notices; });
    EXPECT_EQ(notices, 0);
    EXPECT_EQ(std::filesystem::file_size(elsewhere / "target"), 0u);
    HistoryStore store(dir / "missing-folder" / "history.sqlite");
    EXPECT_FALSE(store.Append(OneSession(1000, {})));
    EXPECT_FALSE(store.Error().empty());

    // A read-only folder (permissions bind every account but root's).
    if (::geteuid() != 0) {
        const auto locked = dir / "locked";
        std::filesystem::create_directories(locked);
        std::filesystem::permissions(locked, std::filesystem::perms::owner_read |
                                                 std::filesystem::perms::owner_exec);
        KeepInHistory(HistoryFile(locked), OneSession(1000, {{"985000000000001", true, false}}),
                      [&notices](const std::string&) { ++notices; });
        EXPECT_EQ(notices, 0);
        EXPECT_FALSE(std::filesystem::exists(HistoryFile(locked)));
        std::filesystem::permissions(locked, std::filesystem::perms::owner_all);
    }
}

// A history written by a newer program is not written into.
TEST(HistoryStoreTest, NewerSchemaIsNotTouched) {
    TempDir dir;
    const auto file = HistoryFile(dir.Path());
    {
        HistoryStore store(file);
        ASSERT_TRUE(store.Open());
    }
    {
        auto db = QSqlDatabase::addDatabase("QSQLITE", "newer");
        db.setDatabaseName(QString::fromStdString(file.string()));
        ASSERT_TRUE(db.open());
        QSqlQuery(db).exec(
            QString("PRAGMA user_version=%1").arg(HistoryStore::SchemaVersion() + 1));
        db.close();
    }
    QSqlDatabase::removeDatabase("newer");
    HistoryStore store(file);
    EXPECT_FALSE(store.Append(OneSession(1000, {{"985000000000001", true, false}})));
    EXPECT_NE(store.Error().find("newer"), std::string::npos) << store.Error();
    EXPECT_FALSE(store.MovedAside());
}

// A writer killed in the middle of a session's write: the history opens,
// and every session in it is whole.
TEST(HistoryStoreTest, KillDuringAWriteLeavesWholeSessions) {
    TempDir dir;
    const auto file = HistoryFile(dir.Path());
    QProcess writer;
    writer.start(TALLYBIRD_HISTORY_WRITER, {QString::fromStdString(file.string())});
    ASSERT_TRUE(writer.waitForStarted());
    int written = 0;
    const auto deadline = std::chrono::steady_clock::now() + test::Scaled(std::chrono::seconds(60));
    while (written < 3 && std::chrono::steady_clock::now() < deadline) {
        writer.waitForReadyRead(100);
        while (writer.canReadLine()) {
            written = writer.readLine().trimmed().toInt();
        }
    }
    ASSERT_GE(written, 3) << writer.readAllStandardError().toStdString();
    // Half-way through the next session's write.
    std::this_thread::sleep_for(std::chrono::milliseconds(15));
    writer.kill();
    writer.waitForFinished();

    HistoryStore store(file);
    const auto sessions = store.Sessions({});
    ASSERT_GE(static_cast<int>(sessions.size()), written) << store.Error();
    EXPECT_FALSE(store.MovedAside());
    for (const StoredSession& s : sessions) {
        HistoryFilter one;
        one.session = s.id;
        EXPECT_EQ(s.chipsRead, 3100);
        EXPECT_EQ(store.Reads(one).size(), 3100u) << "session " << s.id;
    }
    EXPECT_TRUE(store.Append(OneSession(9999999999, {{"985000000000001", true, false}})))
        << store.Error();
}

TEST(HistoryStoreTest, LocalDays) {
    EXPECT_EQ(LocalDayStart("2026-02-31"), std::nullopt);
    EXPECT_EQ(LocalDayStart("2026-1-05"), std::nullopt);
    EXPECT_EQ(LocalDayStart("yesterday"), std::nullopt);
    const auto day = LocalDayStart("2026-12-07");
    ASSERT_TRUE(day);
    EXPECT_EQ(IsoLocalTime(*day).substr(0, 19), "2026-12-07T00:00:00");
    EXPECT_EQ(LocalDayStart("2026-12-07", 1), LocalDayStart("2026-12-08"));
    EXPECT_EQ(LocalDayStart("2026-12-31", 1), LocalDayStart("2027-01-01"));
}

} // namespace
} // namespace tallybird
