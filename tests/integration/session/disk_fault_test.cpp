// A data folder that cannot be written, read-only or on a full file system:
// the session says so and claims no success, the files it had stay as they
// were, nothing is lost on the scanner, and once the disk can be written
// again the next session ends orderly and repairs everything.
#include "support/session_rig.h"

#include "base/single_byte_text.h"
#include "model/list_record.h"
#include "model/registration_record.h"
#include "model/session_file.h"
#include "platform/atomic_file.h"
#include "runtime/history_store.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <optional>

namespace tallybird::test {
namespace {

constexpr double kStamp = 1765000000;
constexpr const char* kScanned = "826000000000555";
constexpr const char* kSessionFileName = "TBM00066051.tbf";
constexpr const char* kMarkerName = "TBM00066051.err";
const std::string kDiskMessage =
    "Tallybird: Software Error - Failed to write to disk, please close and restart the program";

std::string ChipText(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%015.0f", value);
    return text;
}

std::string Json(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

std::vector<double> Sorted(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values;
}

// The chips of the scanner's list memory, cleared records left out, sorted.
std::vector<double> ScannerChips(const ScannerSim& scanner) {
    std::vector<double> chips;
    for (const QJsonValue& record : scanner.Dump().value("list").toArray()) {
        const std::string text = record.toObject().value("chip").toString().toStdString();
        if (!text.empty() && text.find_first_not_of('0') != std::string::npos) {
            chips.push_back(std::stod(text));
        }
    }
    return Sorted(chips);
}

int ScanLogSize(const ScannerSim& scanner) {
    return static_cast<int>(scanner.Dump().value("scanLog").toArray().size());
}

// Every file of a folder with its bytes.
std::map<std::string, Bytes> FilesIn(const std::filesystem::path& folder) {
    std::map<std::string, Bytes> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        files[entry.path().filename().string()] = ReadFile(entry.path());
    }
    return files;
}

// What changed from one listing of a folder to the next, a line per file.
std::vector<std::string> Changes(const std::map<std::string, Bytes>& before,
                                 const std::map<std::string, Bytes>& after) {
    std::vector<std::string> changes;
    for (const auto& [name, bytes] : before) {
        const auto now = after.find(name);
        if (now == after.end()) {
            changes.push_back(name + " gone");
        } else if (now->second != bytes) {
            changes.push_back(name + " changed (" + std::to_string(now->second.size()) +
                              " bytes, were " + std::to_string(bytes.size()) + ")");
        }
    }
    for (const auto& [name, bytes] : after) {
        if (!before.contains(name)) {
            changes.push_back(name + " added (" + std::to_string(bytes.size()) + " bytes)");
        }
    }
    return changes;
}

// SQLite's own companions of the chip history, which an open that failed
// for want of room leaves behind: an empty write-ahead log (nothing of the
// history half-written) and its index. The next open tidies them away.
void DropEmptyHistoryLog(std::map<std::string, Bytes>& files) {
    const auto log = files.find("history.sqlite-wal");
    if (log != files.end() && log->second.empty()) {
        files.erase(log);
        files.erase("history.sqlite-shm");
    }
}

std::vector<std::string> NamesIn(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string Text(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// A small tmpfs over a folder for one test, unmounted when it goes (also
// when the test stops half-way). Needs CAP_SYS_ADMIN.
class SmallDisk {
public:
    SmallDisk(std::filesystem::path folder, std::size_t bytes)
        : folder_(std::move(folder)), options_("size=" + std::to_string(bytes / 1024) + "k") {
        if (::mount("tmpfs", folder_.c_str(), "tmpfs", 0, options_.c_str()) == 0) {
            mounted_ = true;
        } else {
            why_ = std::string("mount -t tmpfs: ") + std::strerror(errno);
        }
    }
    ~SmallDisk() {
        if (mounted_) {
            ::umount2(folder_.c_str(), MNT_DETACH);
        }
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool Mounted() const { return mounted_; }
    const std::string& Why() const { return why_; }

    bool SetReadOnly(bool readOnly) {
        const unsigned long flags =
            readOnly ? MS_REMOUNT | MS_RDONLY : static_cast<unsigned long>(MS_REMOUNT);
        return ::mount("tmpfs", folder_.c_str(), "tmpfs", flags, options_.c_str()) == 0;
    }

    std::uint64_t FreeBytes() const {
        struct statvfs info {};
        ::statvfs(folder_.c_str(), &info);
        return static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
    }

    // A filler file beside the data folder takes all but `room` bytes.
    bool Fill(std::uint64_t room) {
        const int fd = ::open(Filler().c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        if (fd < 0) {
            return false;
        }
        const std::vector<char> chunk(64 * 1024, 'f');
        while (FreeBytes() > room) {
            const std::uint64_t want = std::min<std::uint64_t>(chunk.size(), FreeBytes() - room);
            if (::write(fd, chunk.data(), static_cast<std::size_t>(want)) <= 0) {
                break;
            }
        }
        ::close(fd);
        return FreeBytes() == room;
    }
    void Empty() { std::filesystem::remove(Filler()); }

private:
    std::filesystem::path Filler() const { return folder_ / "filler"; }

    std::filesystem::path folder_;
    std::string options_;
    bool mounted_ = false;
    std::string why_;
};

// A scanner of 40 chips and the copy of its list saved by the last session;
// a chip scanned since. The service clears two of the chips and adds two
// when `changes`, so the session writes into the list; otherwise it has
// nothing new.
struct Scenario {
    std::vector<double> scanner;
    std::vector<double> service;
    QJsonArray log;

    explicit Scenario(bool changes) {
        for (int k = 0; k < 40; ++k) {
            scanner.push_back(985000000500000.0 + k);
        }
        service = scanner;
        if (!changes) {
            return;
        }
        for (int k : {3, 17}) {
            const double chip = scanner[static_cast<std::size_t>(k)];
            service.erase(std::find(service.begin(), service.end(), chip));
            log.append(Change(102, chip));
        }
        for (const double added : {826000000000101.0, 826000000000102.0}) {
            service.push_back(added);
            log.append(Change(1, added));
        }
    }

    static QJsonObject Change(int operation, double chip) {
        return QJsonObject{{"time", kStamp + 10},
                           {"operation", operation},
                           {"chip", QString::fromStdString(ChipText(chip))},
                           {"attribute", 0}};
    }

    std::string State() const {
        QJsonArray chips;
        for (const double chip : service) {
            chips.append(Chip(ChipText(chip)));
        }
        const QJsonObject country{{"lost", chips},
                                  {"log", log},
                                  {"logStart", kStamp},
                                  {"organisations", QJsonArray{"Vets North", "01632 960001"}}};
        return Json(
            QJsonObject{{"time", kStamp + 100}, {"countries", QJsonObject{{"1", country}}}});
    }

    SessionFileData SavedCopy() const {
        SessionFileData file;
        file.timeStamp = kStamp;
        for (std::size_t k = 0; k < scanner.size(); ++k) {
            file.list.values[k] = scanner[k];
        }
        file.list.count = static_cast<std::int32_t>(scanner.size());
        return file;
    }

    // The files a data folder holds after earlier sessions: the saved copy
    // of the list (unless the scanner is new to this computer), the
    // registration record, the chip history and, when given, the marker the
    // last session left.
    void PrimeDataFolder(const SessionRig& rig, const std::string& marker,
                         bool savedCopy = true) const {
        const auto folder = rig.dataFolder();
        if (savedCopy) {
            ASSERT_TRUE(
                WriteFileAtomically(folder / kSessionFileName, EncodeSessionFile(SavedCopy())));
        }
        ASSERT_TRUE(WriteRegistrationRecord(folder, rig.record));
        const auto started = static_cast<std::int64_t>(kStamp);
        SessionRecord earlier{started, started + 5, "126590", "H2", "orderly end", "", "", {}};
        earlier.reads.push_back({"826000000000444", true, false});
        ASSERT_TRUE(HistoryStore(HistoryFile(folder)).Append(earlier));
        if (!marker.empty()) {
            ASSERT_TRUE(WriteFileAtomically(folder / kMarkerName, ToSingleByte(marker)));
        }
    }

    QStringList ScannerOptions(const SessionRig& rig) const {
        Bytes memory;
        for (const double chip : scanner) {
            const ListRecord record = ListRecordOf(chip, 0);
            memory.insert(memory.end(), record.begin(), record.end());
        }
        const auto listFile = rig.Dir() / "list.bin";
        WriteFile(listFile, memory);
        return {"--list-file",  QString::fromStdString(listFile.string()),
                "--time-stamp", QString::number(static_cast<qint64>(kStamp)),
                "--scan",       kScanned};
    }
};

bool Uploaded(SessionRig& rig, const std::string& chip) {
    const auto bodies = UploadBodies(rig.Service().State());
    return std::any_of(bodies.begin(), bodies.end(), [&](const std::string& body) {
        return body.find(chip) != std::string::npos;
    });
}

// The data home, with the data folder in it, on a tmpfs of `bytes`, primed.
// Null (with the reason in `why`) where this process may not mount.
std::unique_ptr<SmallDisk> PrimedDisk(const SessionRig& rig, const Scenario& scenario,
                                      const std::string& marker, std::string& why,
                                      bool savedCopy = true) {
    const auto dataHome = rig.dataFolder().parent_path();
    const std::size_t sessionFileBytes = EncodeSessionFile(scenario.SavedCopy()).size();
    auto disk = std::make_unique<SmallDisk>(dataHome, 3 * sessionFileBytes + 1024 * 1024);
    if (!disk->Mounted()) {
        why = disk->Why();
        return nullptr;
    }
    std::filesystem::create_directories(rig.dataFolder());
    scenario.PrimeDataFolder(rig, marker, savedCopy);
    return disk;
}

constexpr std::uint64_t kNoRoom = 0;
constexpr std::uint64_t kPage = 4096;

struct DiskFault {
    std::string name;
    bool readOnly;            // otherwise full, with `room` bytes left
    std::uint64_t room;       // of a full disk
    bool changes;             // the service has list changes to write
    std::string markerBefore; // what the last session left; empty: none
    // The marker on disk after the failed session; empty: none.
    std::string markerAfter;
    bool savedCopyBefore = true; // otherwise the scanner is new to this computer
};

// The data folder a failed session left, against the one it found: the
// marker as expected, no temporary file, every other file byte for byte.
// Every session goes into the chip history, so one that found room there
// may have appended its row (see ExpectEarlierHistory), and SQLite may have
// left an empty log. True when the history changed.
bool ExpectLeftAsItWas(std::map<std::string, Bytes> before, std::map<std::string, Bytes> after,
                       const std::string& markerAfter) {
    const auto marker = after.extract(kMarkerName);
    before.erase(kMarkerName);
    EXPECT_EQ(marker ? Text(marker.mapped()) : "", markerAfter);
    DropEmptyHistoryLog(after);
    const auto historyBefore = before.extract("history.sqlite");
    const auto historyAfter = after.extract("history.sqlite");
    EXPECT_TRUE(historyBefore && historyAfter) << "the chip history is gone";
    EXPECT_EQ(Changes(before, after), std::vector<std::string>{})
        << "the files kept, nothing half-written, no temporary file";
    return historyBefore && historyAfter && historyAfter.mapped() != historyBefore.mapped();
}

// The earlier session is still in the chip history as it was; the failed
// one joined it when `failedKept`.
void ExpectEarlierHistory(const std::filesystem::path& folder, bool failedKept) {
    HistoryStore history(HistoryFile(folder));
    const auto sessions = history.Sessions({});
    ASSERT_EQ(sessions.size(), failedKept ? 2U : 1U);
    EXPECT_EQ(sessions.back().record.started, static_cast<std::int64_t>(kStamp));
    EXPECT_EQ(sessions.back().chipsRead, 1) << "the earlier session as it was";
    if (failedKept) {
        EXPECT_EQ(sessions.front().record.end, "software error");
        EXPECT_EQ(sessions.front().record.step, "Failed to write to disk");
    }
}

void PrintTo(const DiskFault& fault, std::ostream* out) {
    *out << fault.name;
}

class SessionDiskFaultTest : public ::testing::TestWithParam<DiskFault> {};

// The failed session: a message that names the disk, no success; every file
// but the marker byte for byte as before, the marker as expected and no
// temporary file; the scan log still on the scanner; the list untouched
// unless a "ReWrite" marker makes the next session rewrite it. Then the disk
// is writable again and the next session repairs.
TEST_P(SessionDiskFaultTest, SaysSoKeepsTheFilesAndTheNextSessionRepairs) {
    const DiskFault& fault = GetParam();
    const Scenario scenario(fault.changes);
    SessionRig rig(scenario.State());
    std::string why;
    const auto disk = PrimedDisk(rig, scenario, fault.markerBefore, why, fault.savedCopyBefore);
    if (!disk) {
        GTEST_SKIP() << "cannot mount a small file system here (" << why
                     << "); the tests of tallybird-cli in a user namespace cover it another way";
    }
    ScannerSim& scanner = rig.PlugScanner(scenario.ScannerOptions(rig));
    const auto folder = rig.dataFolder();
    std::map<std::string, Bytes> before = FilesIn(folder);
    if (fault.readOnly) {
        ASSERT_TRUE(disk->SetReadOnly(true)) << std::strerror(errno);
    } else {
        ASSERT_TRUE(disk->Fill(fault.room)) << disk->FreeBytes() << " bytes free";
    }

    RecordingObserver failed;
    EXPECT_EQ(rig.Run(failed), SessionEnd::SoftwareError);
    EXPECT_EQ(failed.messages, std::vector<std::string>{kDiskMessage});
    EXPECT_FALSE(failed.Saw("Progress: Scanner connected, safe to remove"));
    ASSERT_EQ(failed.stopReasons.size(), 1U);
    EXPECT_NE(failed.stopReasons[0].find("cannot write " + folder.string()), std::string::npos)
        << failed.stopReasons[0];

    std::map<std::string, Bytes> after = FilesIn(folder);
    if (!fault.savedCopyBefore) {
        // A new scanner's registration is noted as due (an empty file) when
        // there is room for it; the next session sends it either way.
        const auto due = after.extract("TBM00066051.reg");
        EXPECT_TRUE(!due || due.mapped().empty());
    }
    const bool historyKeptIt = ExpectLeftAsItWas(before, after, fault.markerAfter);
    EXPECT_EQ(ScanLogSize(scanner), 1) << "the scan log is cleared only after a saved session";
    if (fault.markerAfter != "ReWrite") {
        EXPECT_EQ(ScannerChips(scanner), Sorted(scenario.scanner));
    }

    if (fault.readOnly) {
        ASSERT_TRUE(disk->SetReadOnly(false));
    } else {
        disk->Empty();
    }
    ExpectEarlierHistory(folder, historyKeptIt);
    rig.Restart();
    RecordingObserver repaired;
    ASSERT_EQ(rig.Run(repaired), SessionEnd::Orderly)
        << (repaired.messages.empty() ? "" : repaired.messages[0]);
    EXPECT_TRUE(repaired.messages.empty());
    EXPECT_EQ(ScannerChips(scanner), Sorted(scenario.service));
    EXPECT_EQ(ScanLogSize(scanner), 0);
    EXPECT_TRUE(Uploaded(rig, kScanned));
    EXPECT_EQ(NamesIn(folder),
              (std::vector<std::string>{"TBLREG.tbf", kSessionFileName, "history.sqlite"}));
    const auto saved = ReadWholeFile(folder / kSessionFileName);
    ASSERT_TRUE(saved);
    const auto copy = DecodeSessionFile(*saved);
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->timeStamp, fault.changes ? kStamp + 100 : kStamp);
    HistoryStore history(HistoryFile(folder));
    const auto sessions = history.Sessions({});
    ASSERT_EQ(sessions.size(), historyKeptIt ? 3U : 2U);
    EXPECT_EQ(sessions.front().record.end, "orderly end");
}

INSTANTIATE_TEST_SUITE_P(
    Faults, SessionDiskFaultTest,
    ::testing::Values(
        // Nothing can be written: the "ReWrite" marker that must come before
        // the first write into the list fails, so the list stays untouched;
        // the marker of the last session stays as it was.
        DiskFault{"ReadOnlyWithChanges", true, 0, true, "ClearScan", "ClearScan"},
        // Nothing to program: the saved copy is what cannot be written.
        DiskFault{"ReadOnlyWithoutChanges", true, 0, false, "", ""},
        DiskFault{"FullWithChanges", false, kNoRoom, true, "", ""},
        // The old marker is read and acted upon (its page freed); the
        // "ReWrite" marker fits, the list is written, and the saved copy,
        // cut off half-way, goes: the next session rewrites the list.
        DiskFault{"FullWithAMarkerBefore", false, kNoRoom, true, "ClearScan", "ReWrite"},
        DiskFault{"RoomForTheMarkerOnly", false, 4 * kPage, true, "", "ReWrite"},
        DiskFault{"RoomForHalfTheSavedCopy", false, 300 * kPage, true, "", "ReWrite"},
        DiskFault{"FullWithoutChanges", false, 4 * kPage, false, "", ""},
        // A scanner new to this computer: its first copy of the list cannot
        // be saved, before anything went to the service or the scanner.
        DiskFault{"NewScannerReadOnly", true, 0, true, "", "", false},
        DiskFault{"NewScannerFull", false, 4 * kPage, true, "", "", false}),
    [](const ::testing::TestParamInfo<DiskFault>& test) { return test.param.name; });

// The ways a test can make the data folder read-only for one tallybird-cli
// process; each runs where this machine allows it.
enum class ReadOnlyBy { Mount, UserNamespace, Permissions };

std::string NameOf(ReadOnlyBy by) {
    switch (by) {
    case ReadOnlyBy::Mount:
        return "Mount";
    case ReadOnlyBy::UserNamespace:
        return "UserNamespace";
    case ReadOnlyBy::Permissions:
        break;
    }
    return "Permissions";
}

// `script` run by sh in a private mount namespace, as a mapped root in a
// user namespace of its own; `arguments` are its $0, $1, ...
QStringList InOwnMountNamespace(const std::string& script, const QStringList& arguments) {
    return QStringList{"unshare",
                       "--user",
                       "--map-root-user",
                       "--mount",
                       "sh",
                       "-c",
                       QString::fromStdString(script)} +
           arguments;
}

// The data folder bound read-only, then the command.
QStringList ReadOnlyNamespace(const std::filesystem::path& folder) {
    return InOwnMountNamespace(
        R"(mount --bind "$0" "$0" && mount -o remount,bind,ro "$0" && exec "$@")",
        {QString::fromStdString(folder.string())});
}

bool UserNamespacesWork() {
    QProcess probe;
    probe.start("unshare", {"--user", "--map-root-user", "--mount", "true"});
    return probe.waitForFinished(10'000) && probe.exitStatus() == QProcess::NormalExit &&
           probe.exitCode() == 0;
}

// Puts the folder's permissions back when it goes.
class FolderMode {
public:
    explicit FolderMode(std::filesystem::path folder) : folder_(std::move(folder)) {}
    ~FolderMode() { Set(std::filesystem::perms::owner_all); }
    FolderMode(const FolderMode&) = delete;
    FolderMode& operator=(const FolderMode&) = delete;
    void Set(std::filesystem::perms perms) {
        std::error_code ec;
        std::filesystem::permissions(folder_, perms, ec);
    }

private:
    std::filesystem::path folder_;
};

void PrintTo(ReadOnlyBy by, std::ostream* out) {
    *out << NameOf(by);
}

class SessionDiskFaultCliTest : public ::testing::TestWithParam<ReadOnlyBy> {};

// `tallybird-cli sync` with a data folder it cannot write: exit code 2, the
// message on stderr, the reason in the log, every file kept and the scan log
// still on the scanner; the next run with the folder writable repairs.
TEST_P(SessionDiskFaultCliTest, ReadOnlyDataFolderThenAWritableOne) {
    const ReadOnlyBy by = GetParam();
    const Scenario scenario(true);
    SessionRig rig(scenario.State());
    const auto folder = rig.dataFolder();
    std::unique_ptr<SmallDisk> disk;
    FolderMode mode(folder);
    QStringList wrapper;
    switch (by) {
    case ReadOnlyBy::Mount: {
        std::string why;
        disk = PrimedDisk(rig, scenario, "", why);
        if (!disk) {
            GTEST_SKIP() << "cannot mount a small file system here (" << why << ")";
        }
        break;
    }
    case ReadOnlyBy::UserNamespace:
        if (!UserNamespacesWork()) {
            GTEST_SKIP() << "unshare --user --map-root-user --mount does not work here";
        }
        scenario.PrimeDataFolder(rig, "");
        wrapper = ReadOnlyNamespace(folder);
        break;
    case ReadOnlyBy::Permissions:
        if (::geteuid() == 0) {
            GTEST_SKIP() << "permissions do not bind root";
        }
        scenario.PrimeDataFolder(rig, "");
        break;
    }
    ScannerSim& scanner = rig.PlugScanner(scenario.ScannerOptions(rig));
    const std::map<std::string, Bytes> before = FilesIn(folder);
    if (disk) {
        ASSERT_TRUE(disk->SetReadOnly(true)) << std::strerror(errno);
    }
    if (by == ReadOnlyBy::Permissions) {
        mode.Set(std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    }
    const QStringList sync{"sync", QString::fromStdString(scanner.Link().string())};

    const ProcessResult failed = RunCli(rig.ConfigHome(), sync, std::chrono::seconds(60), wrapper);
    EXPECT_EQ(failed.exitCode, 2) << failed.err;
    EXPECT_EQ(failed.err, kDiskMessage + "\n");
    EXPECT_EQ(failed.out.find("safe to remove"), std::string::npos) << failed.out;
    const Bytes log = ReadFile(rig.ConfigHome() / "state-home" / "Tallybird" / "tallybird.log");
    EXPECT_NE(Text(log).find("cannot write " + folder.string()), std::string::npos) << Text(log);
    EXPECT_EQ(Changes(before, FilesIn(folder)), std::vector<std::string>{});
    EXPECT_EQ(ScanLogSize(scanner), 1);
    EXPECT_EQ(ScannerChips(scanner), Sorted(scenario.scanner));

    if (disk) {
        ASSERT_TRUE(disk->SetReadOnly(false));
    }
    mode.Set(std::filesystem::perms::owner_all);
    const ProcessResult repaired = RunCli(rig.ConfigHome(), sync);
    EXPECT_EQ(repaired.exitCode, 0) << repaired.err;
    EXPECT_EQ(ScannerChips(scanner), Sorted(scenario.service));
    EXPECT_EQ(ScanLogSize(scanner), 0);
    EXPECT_TRUE(Uploaded(rig, kScanned));
    EXPECT_EQ(NamesIn(folder),
              (std::vector<std::string>{"TBLREG.tbf", kSessionFileName, "history.sqlite"}));
}

INSTANTIATE_TEST_SUITE_P(Ways, SessionDiskFaultCliTest,
                         ::testing::Values(ReadOnlyBy::Mount, ReadOnlyBy::UserNamespace,
                                           ReadOnlyBy::Permissions),
                         [](const ::testing::TestParamInfo<ReadOnlyBy>& test) {
                             return NameOf(test.param);
                         });

// In a user namespace of its own, as its mapped root, where a process may
// mount a tmpfs: the data folder's files are copied onto a small one, which
// is filled until `room` bytes are left and bound over the data folder; the
// command runs; what it left is copied out to `after`.
QStringList FullDiskNamespace(const std::filesystem::path& folder,
                              const std::filesystem::path& scratch,
                              const std::filesystem::path& after, std::size_t diskBytes,
                              std::uint64_t room) {
    const std::string script = "set -e; folder=$0 disk=$1 after=$2 size=$3 room=$4; shift 4\n"
                               "mount -t tmpfs -o size=$size tmpfs \"$disk\"\n"
                               "cp -a \"$folder\" \"$disk/Tallybird\"\n"
                               "mount --bind \"$disk/Tallybird\" \"$folder\"\n"
                               "free=$(($(stat -f -c '%a * %S' \"$disk\")))\n"
                               "head -c $((free - room)) /dev/zero > \"$disk/filler\" || true\n"
                               "set +e; \"$@\"; status=$?\n"
                               "cp -a \"$folder/.\" \"$after\"\n"
                               "exit $status\n";
    return InOwnMountNamespace(script, {QString::fromStdString(folder.string()),
                                        QString::fromStdString(scratch.string()),
                                        QString::fromStdString(after.string()),
                                        QString::number(diskBytes), QString::number(room)});
}

// A full disk for a `tallybird-cli sync` process, made without privileges:
// room for the "ReWrite" marker, not for the saved copy. The session says
// so, keeps the files and the scan log; the data folder it left is where
// the next run starts, and that run repairs.
TEST(SessionDiskFaultCliTest, FullDiskInAUserNamespaceThenRoomAgain) {
    if (!UserNamespacesWork()) {
        GTEST_SKIP() << "unshare --user --map-root-user --mount does not work here";
    }
    const Scenario scenario(true);
    SessionRig rig(scenario.State());
    const auto folder = rig.dataFolder();
    scenario.PrimeDataFolder(rig, "");
    ScannerSim& scanner = rig.PlugScanner(scenario.ScannerOptions(rig));
    const std::map<std::string, Bytes> before = FilesIn(folder);
    const auto scratch = rig.Dir() / "disk";
    const auto after = rig.Dir() / "after";
    std::filesystem::create_directories(scratch);
    std::filesystem::create_directories(after);
    const std::size_t diskBytes = 3 * EncodeSessionFile(scenario.SavedCopy()).size();
    const QStringList sync{"sync", QString::fromStdString(scanner.Link().string())};

    const ProcessResult failed =
        RunCli(rig.ConfigHome(), sync, std::chrono::seconds(60),
               FullDiskNamespace(folder, scratch, after, diskBytes, 4 * kPage));
    EXPECT_EQ(failed.exitCode, 2) << failed.err;
    EXPECT_EQ(failed.err, kDiskMessage + "\n");
    ASSERT_TRUE(std::filesystem::exists(after / kSessionFileName)) << "the run left no folder";
    const bool historyKeptIt = ExpectLeftAsItWas(before, FilesIn(after), "ReWrite");
    EXPECT_EQ(ScanLogSize(scanner), 1);

    std::filesystem::remove_all(folder);
    std::filesystem::copy(after, folder);
    ExpectEarlierHistory(folder, historyKeptIt);
    // The repair runs in this process, which skips the reset's wait.
    rig.Restart();
    RecordingObserver repaired;
    ASSERT_EQ(rig.Run(repaired), SessionEnd::Orderly)
        << (repaired.messages.empty() ? "" : repaired.messages[0]);
    EXPECT_EQ(ScannerChips(scanner), Sorted(scenario.service));
    EXPECT_EQ(ScanLogSize(scanner), 0);
    EXPECT_TRUE(Uploaded(rig, kScanned));
    EXPECT_EQ(NamesIn(folder),
              (std::vector<std::string>{"TBLREG.tbf", kSessionFileName, "history.sqlite"}));
}

} // namespace
} // namespace tallybird::test
