#include "support/session_rig.h"

#include "model/lost_list.h"
#include "model/session_file.h"
#include "platform/atomic_file.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

#include <map>

namespace tallybird::test {
namespace {

constexpr double kServiceTime = 1765350000;
const std::string kA = "826000000000001";
const std::string kB = "826000000000002";
const std::string kC = "985000000000777";

QJsonObject BaseState(QJsonArray lost, QJsonArray log = {}, double time = kServiceTime,
                      double logStart = 0) {
    QJsonObject country{
        {"lost", lost},
        {"log", log},
        {"organisations", QJsonArray{"Vets North", "01632 960001", "Dog Rescue", "01632 960002"}}};
    if (logStart > 0) {
        country["logStart"] = logStart;
    }
    return QJsonObject{{"time", time}, {"countries", QJsonObject{{"1", country}}}};
}

std::string Json(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

QStringList ScannerWithScans(QStringList extra = {}) {
    QStringList options{"--scan", QString::fromStdString(kB), "--scan", "985000000000001"};
    return options + extra;
}

std::vector<std::string> ListChips(const QJsonObject& dump) {
    std::vector<std::string> chips;
    for (const QJsonValue& record : dump.value("list").toArray()) {
        chips.push_back(record.toObject().value("chip").toString().toStdString());
    }
    return chips;
}

std::vector<std::string> RequestTargets(const QJsonObject& state) {
    std::vector<std::string> targets;
    for (const QJsonValue& request : state.value("requests").toArray()) {
        targets.push_back(request.toObject().value("target").toString().toStdString());
    }
    return targets;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.rfind(prefix, 0) == 0;
}

std::optional<SessionFileData> SessionFileOf(const SessionRig& rig) {
    const Bytes bytes = ReadFile(rig.dataFolder() / "TBM00066051.tbf");
    return DecodeSessionFile(bytes);
}

class SessionTest : public testing::Test {
protected:
    SessionRig rig{Json(BaseState(QJsonArray{Chip(kA, 1), Chip(kB), Chip(kC, 3)}))};
    RecordingObserver observer;
};

TEST_F(SessionTest, FirstSessionRegistersUploadsAndProgramsTheList) {
    rig.PlugScanner(ScannerWithScans());
    ASSERT_EQ(rig.Run(observer), SessionEnd::Orderly);

    EXPECT_EQ(observer.captions, (std::vector<std::string>{
                                     "Progress: Updating Scanner", "Progress: Tallybird sector 1",
                                     "Progress: Scanner connected, safe to remove"}));
    EXPECT_TRUE(observer.messages.empty());
    EXPECT_EQ(observer.rows,
              (std::vector<std::string>{kB + "       Yes", "985000000000001          "}));

    const auto wire = rig.Scanner().WireLog();
    const auto codes = Codes(wire);
    const std::vector<std::string> start{"SN", "VR", "VY", "SC", "TN", "UP", "DL",
                                         "WR", "WR", "WR", "RD", "SE", "SE"};
    ASSERT_GE(codes.size(), start.size());
    EXPECT_EQ(std::vector<std::string>(codes.begin(), codes.begin() + start.size()), start);
    const auto lines = WireLines(wire);
    EXPECT_EQ(lines[7], "WR 00 00 00 CE 80 00 00 00 01 01");
    EXPECT_EQ(lines[9], "WR 00 00 0E F6 40 00 00 03 09 03");
    const std::vector<std::string> end{
        "TW 69 39 1A 70", "CC",          "SE 1F A0 00", "SE 1F B0 00",
        "SE 1F C0 00",    "SE 1F D0 00", "EF",          "LP"};
    EXPECT_EQ(std::vector<std::string>(lines.end() - 8, lines.end()), end);

    const QJsonObject service = rig.Service().State();
    const auto targets = RequestTargets(service);
    ASSERT_EQ(targets.size(), 5u);
    EXPECT_EQ(targets[0], "/alpha/scanreg.php?d=Ann+Owner&a=1+Lane&b=ann%40example%2Eorg&y=Town&w="
                          "Shire&c=1&p=AB1+2CD&n=01632+960000&s=66051");
    EXPECT_EQ(targets[1], "/alpha/upscan.php");
    EXPECT_EQ(targets[2], "/alpha/getlost.php?d=0&c=1&v=W2");
    EXPECT_EQ(targets[3], "/alpha/getscannertime.php");
    EXPECT_EQ(targets[4], "/alpha/getorganisations.php?c=1");
    EXPECT_EQ(UploadBodies(service),
              std::vector<std::string>{"serial number=66051|" + kB + "|985000000000001|"});

    const QJsonObject dump = rig.Scanner().Dump();
    EXPECT_EQ(ListChips(dump), (std::vector<std::string>{kA, kB, kC}));
    EXPECT_EQ(dump.value("timeStamp").toDouble(), kServiceTime);
    EXPECT_TRUE(dump.value("scanLog").toArray().isEmpty());
    const QJsonArray organisations = dump.value("organisations").toArray();
    EXPECT_EQ(organisations[0].toString(), "Tallybird 01632 960123");
    EXPECT_EQ(organisations[1].toString(), "Vets North 01632 960001");
    EXPECT_EQ(organisations[2].toString(), "Dog Rescue 01632 960002");

    const auto file = SessionFileOf(rig);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->timeStamp, kServiceTime);
    EXPECT_EQ(file->list.count, 3);
    EXPECT_EQ(file->list.values[2], 985000000000777.0);
    EXPECT_FALSE(std::filesystem::exists(rig.dataFolder() / "TBM00066051.err"));
}

TEST_F(SessionTest, SecondSessionWithTheScannerUnchanged) {
    rig.PlugScanner(ScannerWithScans());
    ASSERT_EQ(rig.Run(observer), SessionEnd::Orderly);

    // The service removes C and adds D after the first session.
    const std::string d = "826000000000009";
    QJsonArray log{QJsonObject{{"time", kServiceTime + 10},
                               {"operation", 102},
                               {"chip", QString::fromStdString(kC)},
                               {"attribute", 0}},
                   QJsonObject{{"time", kServiceTime + 10},
                               {"operation", 2},
                               {"chip", QString::fromStdString(d)},
                               {"attribute", 5}}};
    ASSERT_TRUE(rig.Service().SetState(BaseState(QJsonArray{Chip(kA, 1), Chip(kB), Chip(d, 5)}, log,
                                                 kServiceTime + 60, kServiceTime)));
    EXPECT_EQ(rig.Scanner().Control("scan " + kA).substr(0, 2), "ok");

    RecordingObserver second;
    ASSERT_EQ(rig.Run(second), SessionEnd::Orderly);
    const auto codes = Codes(rig.Scanner().WireLog());
    EXPECT_EQ(std::count(codes.begin(), codes.end(), "UP"), 1) << "no second read-back";
    const QJsonObject service = rig.Service().State();
    const auto targets = RequestTargets(service);
    EXPECT_EQ(std::count_if(targets.begin(), targets.end(),
                            [](const std::string& t) { return StartsWith(t, "/alpha/scanreg"); }),
              0);
    EXPECT_EQ(UploadBodies(service), std::vector<std::string>{"serial number=66051|" + kA + "|"});
    EXPECT_NE(std::find(targets.begin(), targets.end(), "/alpha/getlost.php?d=1765350000&c=1&v=W2"),
              targets.end());
    EXPECT_EQ(ListChips(rig.Scanner().Dump()),
              (std::vector<std::string>{kA, kB, "000000000000000", d}));
    EXPECT_EQ(second.rows, std::vector<std::string>{kA + "       Yes"});
    const std::string line = second.exportText.Text();
    EXPECT_TRUE(StartsWith(line, kA + "    ")) << line;
    EXPECT_EQ(line.size(), 42u);
    EXPECT_EQ(line.substr(line.size() - 5), "Yes\r\n");
}

TEST_F(SessionTest, TestModeSendsNeitherRegistrationNorUpload) {
    rig.state.testMode = true;
    rig.state.showProgress = true;
    rig.PlugScanner(ScannerWithScans());
    ASSERT_EQ(rig.Run(observer), SessionEnd::Orderly);
    EXPECT_EQ(observer.titles,
              std::vector<std::string>{"Tallybird, connected to serial number 126590"});
    ASSERT_GE(observer.captions.size(), 3u);
    EXPECT_EQ(observer.captions[0], "Progress: Got Serial number");
    EXPECT_EQ(observer.captions[1], "Got scanned chips");
    EXPECT_TRUE(observer.Saw("Progress: Added/Removed numbers"));
    EXPECT_FALSE(observer.Saw("Progress: Updating Scanner"));
    const auto targets = RequestTargets(rig.Service().State());
    for (const auto& target : targets) {
        EXPECT_FALSE(StartsWith(target, "/alpha/scanreg") || StartsWith(target, "/alpha/upscan"))
            << target;
    }
    EXPECT_EQ(ListChips(rig.Scanner().Dump()), (std::vector<std::string>{kA, kB, kC}))
        << "the list is still brought up to date";
}

TEST_F(SessionTest, ResetScannerSkipsTheScansAndResetsFirst) {
    rig.PlugScanner(ScannerWithScans());
    RequestReset(rig.state, rig.settings(), ResetKind::DiscardsScans);
    ASSERT_EQ(rig.Run(observer), SessionEnd::Orderly);

    const auto lines = WireLines(rig.Scanner().WireLog());
    const std::vector<std::string> start{"SN", "VR", "VY 02",          "DL", "WE",
                                         "CE", "CC", "TW 46 BC 46 86", "TN", "UP"};
    ASSERT_GE(lines.size(), start.size());
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + start.size()), start);
    EXPECT_EQ(std::count_if(observer.captions.begin(), observer.captions.end(),
                            [](const std::string& c) {
                                return StartsWith(c, "Progress: Resetting Scanner ");
                            }),
              31);
    EXPECT_TRUE(observer.Saw("Progress: Resetting Scanner 07%"));
    EXPECT_TRUE(observer.Saw("Progress: Resetting Scanner 100%"));
    // The bar beside the caption shows the same figure, second by second.
    std::vector<int> captionFigures;
    for (const std::string& caption : observer.captions) {
        if (StartsWith(caption, "Progress: Resetting Scanner ")) {
            captionFigures.push_back(std::stoi(caption.substr(28)));
        }
    }
    std::vector<int> barFigures;
    for (const auto& [done, total] : observer.progress) {
        barFigures.push_back(done * 100 / total);
    }
    ASSERT_GE(barFigures.size(), captionFigures.size());
    barFigures.resize(captionFigures.size()); // the reset's come first
    EXPECT_EQ(barFigures, captionFigures);
    EXPECT_TRUE(UploadBodies(rig.Service().State()).empty());
    EXPECT_FALSE(rig.state.resetPending);
    EXPECT_EQ(rig.settings().Store().Get("Settings", "ResetPending", ""), "False");
}

// Reset Scanner chosen while a session reads the scanner's list back over a
// slow link (115200 baud) waits for the next session: the chips this session
// read are uploaded, the scan log is cleared only once they are, and the
// next session performs the reset the user asked for.
TEST_F(SessionTest, ResetChosenDuringTheListReadBackWaitsForTheNextSession) {
    class ResetMidReadBack : public RecordingObserver {
    public:
        explicit ResetMidReadBack(SessionRig& rig) : rig_(rig) {}
        void ShowCaption(const std::string& caption) override {
            RecordingObserver::ShowCaption(caption);
            if (!requested && StartsWith(caption, "Progress: Uploading:- ")) {
                requested = true;
                RequestReset(rig_.state, rig_.settings(), ResetKind::DiscardsScans);
            }
        }
        bool requested = false;

    private:
        SessionRig& rig_;
    };
    const std::string uploaded = "serial number=66051|" + kB + "|985000000000001|";
    struct Case {
        const char* name;
        bool uploadFails;
    };
    for (const Case c : {Case{"upload accepted", false}, Case{"upload refused", true}}) {
        SCOPED_TRACE(c.name);
        SessionRig fresh{Json(BaseState(QJsonArray{Chip(kA, 1)}))};
        fresh.PlugScanner(ScannerWithScans({"--list-count", "1500", "--byte-rate", "11520"}));
        ASSERT_TRUE(fresh.Service().SetFault("upscan.php", c.uploadFails ? "500" : "none"));
        ResetMidReadBack first(fresh);
        const SessionEnd end = fresh.Run(first);
        ASSERT_TRUE(first.requested) << "the list read-back showed its progress";

        const auto codes = Codes(fresh.Scanner().WireLog());
        EXPECT_EQ(std::count(codes.begin(), codes.end(), "CE"), 0) << "no reset in this session";
        EXPECT_TRUE(fresh.settings().ResetPending()) << "the request waits";
        EXPECT_TRUE(fresh.settings().ResetDiscardsScans());
        if (c.uploadFails) {
            EXPECT_EQ(end, SessionEnd::SoftwareError);
            EXPECT_EQ(std::count(codes.begin(), codes.end(), "CC"), 0);
            EXPECT_EQ(fresh.Scanner().Dump().value("scanLog").toArray().size(), 2)
                << "nothing is cleared before it was uploaded";
            continue;
        }
        EXPECT_EQ(end, SessionEnd::Orderly);
        EXPECT_EQ(UploadBodies(fresh.Service().State()), std::vector<std::string>{uploaded});
        EXPECT_TRUE(fresh.Scanner().Dump().value("scanLog").toArray().isEmpty());

        RecordingObserver next;
        const std::size_t before = WireLines(fresh.Scanner().WireLog()).size();
        ASSERT_EQ(fresh.Run(next), SessionEnd::Orderly);
        const auto lines = WireLines(fresh.Scanner().WireLog());
        const std::vector<std::string> reset{"SN", "VR", "VY 02", "DL", "WE", "CE", "CC"};
        ASSERT_GE(lines.size(), before + reset.size());
        EXPECT_EQ(std::vector<std::string>(lines.begin() + static_cast<std::ptrdiff_t>(before),
                                           lines.begin() +
                                               static_cast<std::ptrdiff_t>(before + reset.size())),
                  reset)
            << "the next session resets";
        EXPECT_FALSE(fresh.settings().ResetPending());
        EXPECT_FALSE(fresh.state.resetPending);
    }
}

TEST_F(SessionTest, ReWriteMarkerUploadsTheScansBeforeTheReset) {
    rig.PlugScanner(ScannerWithScans());
    WriteTextFile(rig.dataFolder() / "TBM00066051.err", "ReWrite");
    ASSERT_EQ(rig.Run(observer), SessionEnd::Orderly);

    const auto codes = Codes(rig.Scanner().WireLog());
    EXPECT_EQ(std::vector<std::string>(codes.begin(), codes.begin() + 9),
              (std::vector<std::string>{"SN", "VR", "VY", "SC", "DL", "WE", "CE", "CC", "TW"}));
    const QJsonObject service = rig.Service().State();
    const auto targets = RequestTargets(service);
    ASSERT_GE(targets.size(), 2u);
    EXPECT_EQ(targets[0], "/alpha/upscan.php") << "uploaded before anything was erased";
    EXPECT_EQ(UploadBodies(service).size(), 1u) << "and not a second time";
    EXPECT_TRUE(StartsWith(targets[1], "/alpha/scanreg.php")) << "the list was read anew";
    EXPECT_FALSE(std::filesystem::exists(rig.dataFolder() / "TBM00066051.err"));
    EXPECT_FALSE(rig.settings().ResetPending());
}

// The old copy is deleted on the way into a reset. A later failure of
// another kind does not name that file, which was deleted: it reads as any
// other failure of the service.
TEST_F(SessionTest, AFailureAfterTheResetDoesNotBlameTheDeletedCopy) {
    rig.PlugScanner(ScannerWithScans());
    ASSERT_EQ(rig.Run(observer), SessionEnd::Orderly);
    ASSERT_TRUE(std::filesystem::exists(rig.dataFolder() / "TBM00066051.tbf"));
    WriteTextFile(rig.dataFolder() / "TBM00066051.err", "ReWrite");
    // The reset scanner asks for the whole list, which a log that starts
    // later gives.
    ASSERT_TRUE(rig.Service().SetState(
        BaseState(QJsonArray{Chip(kA, 1), Chip(kB)}, {}, kServiceTime, kServiceTime - 10)));
    ASSERT_TRUE(rig.Service().SetFault("getorganisations.php", "truncated"));

    RecordingObserver failed;
    ASSERT_EQ(rig.Run(failed), SessionEnd::SoftwareError);
    EXPECT_EQ(failed.messages,
              std::vector<std::string>{"Tallybird: Software Error - , please close and restart the "
                                       "program"});
    ASSERT_EQ(failed.stopReasons.size(), 1U);
    EXPECT_EQ(failed.stopReasons[0].find("Can't delete"), std::string::npos)
        << failed.stopReasons[0];
}

// A "ClearScan" marker clears nothing before the upload: when the upload
// then fails, the chips scanned since are still on the scanner and reach the
// service next time.
TEST_F(SessionTest, ClearScanMarkerKeepsTheLogUntilItWasUploaded) {
    rig.PlugScanner(ScannerWithScans());
    WriteTextFile(rig.dataFolder() / "TBM00066051.err", "ClearScan");
    ASSERT_TRUE(rig.Service().SetFault("upscan.php", "500"));
    ASSERT_EQ(rig.Run(observer), SessionEnd::SoftwareError);
    EXPECT_EQ(observer.stopReasons,
              std::vector<std::string>{
                  "upload: the service did not accept the upload (HTTP status 500)"});
    const auto lines = WireLines(rig.Scanner().WireLog());
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 3, lines.begin() + 5),
              (std::vector<std::string>{"SC", "TN"}));
    const auto codes = Codes(rig.Scanner().WireLog());
    EXPECT_EQ(std::find(codes.begin(), codes.end(), "CC"), codes.end());
    EXPECT_EQ(rig.Scanner().Dump().value("scanLog").toArray().size(), 2);

    ASSERT_TRUE(rig.Service().SetFault("upscan.php", "none"));
    EXPECT_EQ(rig.Scanner().Control("scan " + kA).substr(0, 2), "ok");
    RecordingObserver next;
    ASSERT_EQ(rig.Run(next), SessionEnd::Orderly);
    EXPECT_EQ(UploadBodies(rig.Service().State()).back(),
              "serial number=66051|" + kB + "|985000000000001|" + kA + "|");
    EXPECT_TRUE(rig.Scanner().Dump().value("scanLog").toArray().isEmpty());
    EXPECT_FALSE(std::filesystem::exists(rig.dataFolder() / "TBM00066051.err"));
}

TEST_F(SessionTest, OkMarkerChangesNothing) {
    rig.PlugScanner(ScannerWithScans());
    ASSERT_EQ(rig.Run(observer), SessionEnd::Orderly);
    RecordingObserver second;
    WriteTextFile(rig.dataFolder() / "TBM00066051.err", "ok");
    const std::size_t before = WireLines(rig.Scanner().WireLog()).size();
    ASSERT_EQ(rig.Run(second), SessionEnd::Orderly);
    const auto after = WireLines(rig.Scanner().WireLog());
    EXPECT_EQ(after[before + 4], "TN") << "SN VR VY SC, then straight to the time stamp";
    EXPECT_FALSE(std::filesystem::exists(rig.dataFolder() / "TBM00066051.err"));
}

std::string HexOf(const std::string& text) {
    static const char* digits = "0123456789ABCDEF";
    std::string hex;
    for (const unsigned char c : text) {
        hex += digits[c / 16];
        hex += digits[c % 16];
    }
    return hex;
}

// The service clock is the scanner's stamp and the saved copy's stamp as the
// same whole number of seconds; a clock that cannot be a four-byte stamp
// stops the session before anything is programmed or cleared.
TEST(SessionServiceTimeTest, TheStampIsWholeSecondsOrTheSessionStopsFirst) {
    struct Case {
        std::string reply;
        SessionEnd end;
        double stamp; // 0: the list is not updated
    };
    for (const Case& c :
         {Case{"1765350000.5", SessionEnd::Orderly, 1765350000},
          Case{"1765350000.999e0", SessionEnd::Orderly, 1765350000},
          Case{"4294967295.7", SessionEnd::Orderly, 4294967295.0},
          Case{"4294967296", SessionEnd::SoftwareError, 0},
          Case{"1e400", SessionEnd::SoftwareError, 0}, Case{"0.5", SessionEnd::SoftwareError, 0},
          Case{"1e-400", SessionEnd::Orderly, 0}, Case{"-5", SessionEnd::Orderly, 0}}) {
        SCOPED_TRACE(c.reply);
        SessionRig rig(Json(BaseState(QJsonArray{Chip(kA, 1)})));
        rig.PlugScanner(ScannerWithScans());
        ASSERT_TRUE(rig.Service().SetFault("getscannertime.php", "raw", 0, HexOf(c.reply)));
        RecordingObserver observer;
        ASSERT_EQ(rig.Run(observer), c.end);
        const QJsonObject dump = rig.Scanner().Dump();
        if (c.end == SessionEnd::SoftwareError) {
            const auto codes = Codes(rig.Scanner().WireLog());
            for (const char* code : {"DL", "WR", "SE", "TW", "CC"}) {
                EXPECT_EQ(std::find(codes.begin(), codes.end(), code), codes.end()) << code;
            }
            EXPECT_EQ(dump.value("scanLog").toArray().size(), 2);
            continue;
        }
        EXPECT_EQ(ListChips(dump),
                  c.stamp > 0 ? std::vector<std::string>{kA} : std::vector<std::string>{});
        const auto file = SessionFileOf(rig);
        ASSERT_TRUE(file);
        EXPECT_EQ(file->timeStamp, dump.value("timeStamp").toDouble()) << "scanner and copy agree";
        if (c.stamp > 0) {
            EXPECT_EQ(file->timeStamp, c.stamp);
        }
        // The next session trusts the copy instead of refusing to go on.
        ASSERT_TRUE(rig.Service().SetFault("getscannertime.php", "none"));
        RecordingObserver next;
        EXPECT_EQ(rig.Run(next), SessionEnd::Orderly)
            << (next.messages.empty() ? "" : next.messages[0]);
        const auto codes = Codes(rig.Scanner().WireLog());
        EXPECT_EQ(std::count(codes.begin(), codes.end(), "UP"), 1);
    }
}

std::size_t Registrations(SessionRig& rig) {
    const auto targets = RequestTargets(rig.Service().State());
    return static_cast<std::size_t>(std::count_if(targets.begin(), targets.end(), [](auto& t) {
        return StartsWith(t, "/alpha/scanreg.php");
    }));
}

// A registration the service refused, or that never reached it, goes out
// again with the next session, and only until the service has taken it.
TEST(SessionRegistrationTest, ARegistrationThatDidNotArriveIsSentAgain) {
    for (const auto& [fault, end] :
         {std::pair{std::string("500"), SessionEnd::Orderly},
          std::pair{std::string("truncated"), SessionEnd::SoftwareError}}) {
        SCOPED_TRACE(fault);
        SessionRig rig(Json(BaseState(QJsonArray{Chip(kA, 1)})));
        rig.PlugScanner(ScannerWithScans());
        ASSERT_TRUE(rig.Service().SetFault("scanreg.php", fault));
        RecordingObserver first;
        ASSERT_EQ(rig.Run(first), end);
        EXPECT_EQ(Registrations(rig), 1u);

        ASSERT_TRUE(rig.Service().SetFault("scanreg.php", "none"));
        RecordingObserver second;
        ASSERT_EQ(rig.Run(second), SessionEnd::Orderly);
        const auto codes = Codes(rig.Scanner().WireLog());
        EXPECT_EQ(std::count(codes.begin(), codes.end(), "UP"), 1) << "the copy was kept";
        EXPECT_EQ(Registrations(rig), 2u) << "sent again";

        RecordingObserver third;
        ASSERT_EQ(rig.Run(third), SessionEnd::Orderly);
        EXPECT_EQ(Registrations(rig), 2u) << "accepted: not sent a third time";
    }
}

Bytes WithTerminator(Bytes records) {
    records.insert(records.end(), 6, 255);
    return records;
}

// A scanner that cuts a record short is not believed: nothing is cleared or
// programmed from a reply that may be shifted.
TEST(SessionScannerRepliesTest, RecordsCutShortStopTheSession) {
    const Bytes chip = {1, 0, 0, 0, 64, 3};
    Bytes cutScans = chip;
    cutScans.insert(cutScans.end(), {9, 9, 9});
    Bytes cutList = {246, 64, 0, 0, 0, 1, 3, 246, 64, 0};

    for (const auto& [code, reply] :
         {std::pair{std::string("SC"), cutScans}, std::pair{std::string("UP"), cutList}}) {
        SCOPED_TRACE(code);
        SessionRig rig(Json(BaseState(QJsonArray{Chip(kA, 1)})));
        ScriptedLink link;
        link.replies = {{"SN", {1, 2, 3}},
                        {"VR", {'W', 2}},
                        {"TN", {0, 0, 0, 0}},
                        {"SC", WithTerminator(chip)},
                        {"UP", WithTerminator({})}};
        link.replies[code] = WithTerminator(reply);
        RecordingObserver observer;
        ASSERT_EQ(rig.RunOn(link, observer), SessionEnd::SoftwareError);
        for (const char* written : {"DL", "WR", "SE", "CC", "TW"}) {
            EXPECT_EQ(std::find(link.sent.begin(), link.sent.end(), written), link.sent.end())
                << written;
        }
        EXPECT_TRUE(UploadBodies(rig.Service().State()).empty());
    }
}

TEST_F(SessionTest, RecoveryIsRefusedWhenTheFileIsNewerThanTheScanner) {
    SessionFileData file;
    file.timeStamp = 2000;
    ASSERT_TRUE(WriteFileAtomically(rig.dataFolder() / "TBM00066051.tbf", EncodeSessionFile(file)));
    rig.PlugScanner(ScannerWithScans({"--time-stamp", "1000"}));
    ASSERT_EQ(rig.Run(observer), SessionEnd::Failure);
    EXPECT_EQ(observer.messages, std::vector<std::string>{
                                     "USB Fail: Device Unplugged during write: Recover from fail, "
                                     "please contact +44(0) 1632 960123 for assistance"});
    const Bytes marker = ReadFile(rig.dataFolder() / "TBM00066051.err");
    EXPECT_EQ(std::string(marker.begin(), marker.end()), "ok");
}

TEST_F(SessionTest, SessionFilesOfTheWrongSizeAreRebuilt) {
    rig.PlugScanner(ScannerWithScans());
    WriteTextFile(rig.dataFolder() / "TBM00066051.tbf", "garbage");
    ASSERT_EQ(rig.Run(observer), SessionEnd::Orderly);
    const auto codes = Codes(rig.Scanner().WireLog());
    EXPECT_NE(std::find(codes.begin(), codes.end(), "UP"), codes.end());
    EXPECT_TRUE(SessionFileOf(rig));
}

TEST_F(SessionTest, UploadRefusedStopsBeforeTheLogIsCleared) {
    rig.PlugScanner(ScannerWithScans());
    ASSERT_TRUE(rig.Service().SetFault("upscan.php", "500"));
    ASSERT_EQ(rig.Run(observer), SessionEnd::SoftwareError);
    EXPECT_EQ(observer.messages,
              std::vector<std::string>{
                  "Tallybird: Software Error - , please close and restart the program"});
    const auto codes = Codes(rig.Scanner().WireLog());
    EXPECT_EQ(std::find(codes.begin(), codes.end(), "CC"), codes.end());
    EXPECT_EQ(rig.Scanner().Dump().value("scanLog").toArray().size(), 2)
        << "the chips wait on the scanner for the next session";
}

TEST_F(SessionTest, ServiceFaultsEndPlainly) {
    struct Case {
        std::string endpoint;
        std::string mode;
        SessionEnd end;
    };
    for (const Case& c : {Case{"getlost.php", "html", SessionEnd::Orderly},
                          Case{"getlost.php", "500", SessionEnd::Orderly},
                          Case{"getlost.php", "partial", SessionEnd::SoftwareError},
                          Case{"getscannertime.php", "truncated", SessionEnd::SoftwareError}}) {
        SessionRig fresh(Json(BaseState(QJsonArray{Chip(kA)})));
        fresh.PlugScanner(ScannerWithScans());
        ASSERT_TRUE(fresh.Service().SetFault(c.endpoint, c.mode));
        RecordingObserver seen;
        EXPECT_EQ(fresh.Run(seen), c.end) << c.endpoint << " " << c.mode;
        if (c.end == SessionEnd::Orderly) {
            EXPECT_TRUE(ListChips(fresh.Scanner().Dump()).empty()) << "no list change applied";
        }
    }
}

TEST_F(SessionTest, KeyboardModeAtTheOrderlyEnd) {
    observer.wedgeItemChecked = true;
    rig.PlugScanner(ScannerWithScans());
    ASSERT_EQ(rig.Run(observer), SessionEnd::Orderly);
    EXPECT_EQ(observer.captions.back(), "Progress: Scanner connected, Keyboard mode");
    EXPECT_TRUE(observer.wedgeStarted);
    EXPECT_TRUE(observer.wedgeItemEnabled);
    const auto lines = WireLines(rig.Scanner().WireLog());
    EXPECT_EQ(lines[lines.size() - 2], "RO 01");

    // In keyboard mode the scanner sends each chip it reads as text and CR.
    QtSerialPort wedgePort;
    wedgePort.SetDevice(rig.Scanner().Link());
    ASSERT_TRUE(wedgePort.Open());
    EXPECT_EQ(rig.Scanner().Control("scan " + kA).substr(0, 2), "ok");
    std::string typed;
    while (typed.find('\r') == std::string::npos &&
           wedgePort.WaitForData(Scaled(std::chrono::milliseconds(3000))) == WaitResult::kData) {
        std::uint8_t buffer[64];
        const std::size_t n = wedgePort.Read(buffer);
        typed.append(buffer, buffer + n);
    }
    EXPECT_EQ(typed, kA + "\r");

    RecordingObserver h1;
    h1.wedgeItemChecked = true;
    SessionRig other(Json(BaseState(QJsonArray{})));
    other.PlugScanner({"--version", "H1"});
    ASSERT_EQ(other.Run(h1), SessionEnd::Orderly);
    EXPECT_FALSE(h1.wedgeItemChecked) << "not a W scanner: the item is unchecked";
    EXPECT_FALSE(h1.wedgeItemEnabled);
    EXPECT_EQ(h1.captions.back(), "Progress: Scanner connected, safe to remove");
    const auto codes = Codes(other.Scanner().WireLog());
    EXPECT_EQ(std::find(codes.begin(), codes.end(), "VY"), codes.end());
}

} // namespace
} // namespace tallybird::test
