#include "session/session.h"

#include "base/chip_format.h"
#include "base/single_byte_text.h"
#include "link/commands.h"
#include "model/list_record.h"
#include "model/lost_list.h"
#include "model/scan_log.h"
#include "model/scanner_memory.h"
#include "model/session_file.h"
#include "platform/atomic_file.h"
#include "session/list_merge.h"
#include "session/organisation_update.h"

#include <QLoggingCategory>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <exception>
#include <filesystem>
#include <optional>
#include <system_error>
#include <thread>
#include <unordered_set>

Q_LOGGING_CATEGORY(lcSession, "tallybird.session")

namespace tallybird {

std::string MarkerForStep(const std::string& step) {
    if (step == "WC1" || step == "SE" || step == "WC2" || step == "WC3") {
        return "ReWrite";
    }
    if (step == "CC" || step == "SE1" || step == "SE2" || step == "SE3" || step == "SE4") {
        return "ClearScan";
    }
    return "ok";
}

int ResetPercent(int second) {
    return static_cast<int>(std::lround(second * 3.333));
}

std::string ResetCaption(int second) {
    char text[64];
    std::snprintf(text, sizeof text, "Progress: Resetting Scanner %02d%%", ResetPercent(second));
    return text;
}

namespace {

constexpr const char* kRecoveryStep =
    "Recover from fail, please contact +44(0) 1632 960123 for assistance";
constexpr int kDisplayedSerialOffset = 60539;
// The time stamp a reset leaves on the scanner (bytes 70 188 70 134): older
// than any copy the service sends, so the next list update is a whole one.
constexpr std::uint32_t kResetStamp = 1186743942;
constexpr const char* kRewriteMarker = "ReWrite";
constexpr const char* kDiskWriteStep = "Failed to write to disk";
// The scanner's stamp is four bytes of whole seconds.
constexpr double kLatestScannerStamp = 4294967295.0;
// The step names of the erases of the four scan-log sectors.
constexpr const char* kScanLogSteps[4] = {"SE1", "SE2", "SE3", "SE4"};

// Why the steps stopped before the orderly end.
enum class Stop { Failure, SoftwareError, NotRun };

// The scanner's link, counting the commands sent for the session's log line.
class CountingLink final : public SessionLink {
public:
    explicit CountingLink(SessionLink& link) : link_(link) {}

    bool Open() override { return link_.Open(); }
    void Close() override { link_.Close(); }
    bool IsOpen() const override { return link_.IsOpen(); }
    std::string OpenFailureText() const override { return link_.OpenFailureText(); }
    [[nodiscard]] bool SendCommand(ByteView commandText) override {
        ++commands_;
        return link_.SendCommand(commandText);
    }
    ByteView Reply() const override { return link_.Reply(); }
    int Commands() const { return commands_; }

private:
    SessionLink& link_;
    int commands_ = 0;
};

// The session's sequence of steps. Each step returns nothing to go on, or
// how the session stops.
class Session {
public:
    explicit Session(SessionContext& context)
        : c_(context), observer_(context.observer), counted_(context.link), link_(counted_) {}

    SessionEnd Run() {
        qCInfo(lcSession) << "session start on port" << c_.portNumber;
        const std::int64_t started = std::time(nullptr);
        const SessionEnd end = RunSteps();
        LogEnd(end);
        if (c_.historyRecord != nullptr) {
            FillRecord(end, started, *c_.historyRecord);
        }
        return end;
    }

private:
    using Result = std::optional<Stop>;

    bool ShowProgress() const { return c_.state.showProgress; }
    void Caption(const std::string& text) { observer_.ShowCaption(text); }
    void ProgressCaption(const std::string& text) {
        if (ShowProgress()) {
            observer_.ShowCaption(text);
        }
    }

    // A command's outcome; a failure records `step` for the failure path.
    bool Sent(const std::string& step, bool ok) {
        if (!ok) {
            failedStep_ = step;
        }
        return ok;
    }
    // A reading command's outcome: a failed command stops the session at
    // `step`, a reply too short to decode as a software error.
    template <typename T>
    Result Check(const std::string& step, const ReadResult<T>& read, const char* shortReason) {
        if (read.Failed()) {
            return Failed(step);
        }
        if (read.Short()) {
            return SoftwareError(shortReason);
        }
        return {};
    }
    Result Failed(const std::string& step) {
        failedStep_ = step;
        return Stop::Failure;
    }
    // A software error whose reason goes to the log (the message the user
    // sees keeps its fixed words).
    Result SoftwareError(std::string reason) {
        softwareErrorReason_ = std::move(reason);
        return Stop::SoftwareError;
    }
    // A file of the data folder that cannot be written (a read-only folder,
    // a full disk): the message names the disk, the log the file.
    Result DiskWriteFailed(const std::filesystem::path& file, const std::string& why = {}) {
        failedStep_ = kDiskWriteStep;
        return SoftwareError("cannot write " + file.string() + why);
    }

    std::filesystem::path DataPath(const std::string& name) const {
        return c_.state.dataFolder / name;
    }
    // This scanner's files in the data folder.
    std::filesystem::path MarkerFile() const { return DataPath(ErrorMarkerFileName(serial_)); }
    std::filesystem::path SessionFile() const { return DataPath(SessionFileName(serial_)); }

    Result Start();
    Result Identify();
    Result ReadScanLogStep();
    Result HandleMarker();
    Result ClearScanLog();
    Result UploadBeforeReset();
    Result Reset();
    Result LoadOrRebuildSessionFile();
    Result ServerExchange();
    Result RegisterWhenDue();
    Result ReadServiceTime(double reply);
    Result ProgramList();
    Result MarkListBeingRewritten();
    void ListSaved();
    Result WriteListRecordStep(const std::string& step, std::int32_t slot, double value,
                               std::uint8_t attribute);
    Result WriteOrganisationsAndTimeStamp();
    Result HistorySaveAndClear();
    Result OrderlyEnd();
    SessionEnd RunSteps();
    void LogEnd(SessionEnd end) const;
    void FillRecord(SessionEnd end, std::int64_t started, SessionRecord& record) const;
    SessionEnd FailurePath();
    SessionEnd SoftwareErrorStop();
    std::string FailureReason() const;

    SessionContext& c_;
    SessionObserver& observer_;
    CountingLink counted_;
    SessionLink& link_;

    std::string failedStep_;
    // The step the session stopped at, as the user was told it.
    std::string stopStep_;
    std::string softwareErrorReason_;
    std::int64_t serial_ = -1;
    std::string version_;
    ScannerGeometry geometry_;
    std::optional<ScanLog> scanLog_;
    ResetRequest reset_;
    bool scansUploaded_ = false;
    bool markerHandled_ = false;
    bool fileCreated_ = false;
    // A "ReWrite" marker is on disk from before the first write into the
    // list until the session file holding the new list is saved.
    bool rewriteMarkerOnDisk_ = false;
    double scannerTimeStamp_ = 0;
    SessionFileData file_;
    // The list changes the service sent, when there are any to program (with
    // the organisations and the time stamp).
    std::optional<ListChanges> changes_;
    double serviceTime_ = 0;
};

// One line for support: which scanner, how the session ended and why, and
// what it moved. No personal registration field is ever logged.
void Session::LogEnd(SessionEnd end) const {
    std::string line = "session end: scanner ";
    line += serial_ >= 0 ? std::to_string(serial_ + kDisplayedSerialOffset) : "unknown";
    if (!version_.empty()) {
        line += " (" + version_ + ")";
    }
    line += ", ";
    line += SessionEndName(end);
    if (end == SessionEnd::Failure) {
        line += " at " + stopStep_;
    } else if (end == SessionEnd::SoftwareError) {
        line += " (" + stopStep_ + "): " + softwareErrorReason_;
    }
    const std::size_t read = scanLog_ ? scanLog_->texts.size() : 0;
    line += "; chips read " + std::to_string(read) + ", uploaded " +
            std::to_string(scansUploaded_ ? read : 0);
    if (changes_) {
        line += "; list +" + std::to_string(changes_->added.size()) + " -" +
                std::to_string(changes_->removed.size());
    }
    line += "; " + std::to_string(counted_.Commands()) + " scanner commands";
    if (end == SessionEnd::Orderly || end == SessionEnd::NotRun) {
        qCInfo(lcSession).noquote() << line.c_str();
    } else {
        qCWarning(lcSession).noquote() << line.c_str();
    }
}

// The chip history's copy of the session: every chip read, uploaded or not,
// with the mark the list gave it at this session.
void Session::FillRecord(SessionEnd end, std::int64_t started, SessionRecord& record) const {
    record = SessionRecord{};
    record.started = started;
    record.ended = std::time(nullptr);
    if (serial_ >= 0) {
        record.scanner = std::to_string(serial_ + kDisplayedSerialOffset);
    }
    record.version = version_;
    record.end = SessionEndName(end);
    if (end == SessionEnd::Failure || end == SessionEnd::SoftwareError) {
        record.step = stopStep_;
    }
    if (end == SessionEnd::SoftwareError) {
        record.reason = softwareErrorReason_;
    }
    if (!scanLog_) {
        return;
    }
    const LostList& list = file_.list;
    const std::unordered_set<double> listed(list.values.begin(),
                                            list.values.begin() + std::max(list.count, 0));
    record.reads.reserve(scanLog_->texts.size());
    for (const std::string& text : scanLog_->texts) {
        const auto code = ChipCodeOfText(text);
        const bool missing = code && listed.contains(static_cast<double>(code->Key()));
        record.reads.push_back({text, scansUploaded_, missing});
    }
}

SessionEnd Session::RunSteps() {
    // The session, top down; each step returns nothing to go on, or how the
    // session stops.
    using Step = Result (Session::*)();
    static constexpr Step kSteps[] = {
        &Session::Start,                          // open the port
        &Session::Identify,                       // serial number and version
        &Session::ReadScanLogStep,                // the chips scanned since last time
        &Session::HandleMarker,                   // what the last session left
        &Session::UploadBeforeReset,              // nothing is erased before it is uploaded
        &Session::Reset,                          // when one is pending
        &Session::LoadOrRebuildSessionFile,       // the copy of the scanner's list
        &Session::ServerExchange,                 // registration, upload, list changes
        &Session::ProgramList,                    // the changes into the scanner
        &Session::WriteOrganisationsAndTimeStamp, // with the changes
        &Session::HistorySaveAndClear,            // show, save, clear the scan log
        &Session::OrderlyEnd,                     // sleep or keyboard mode
    };
    Result stop;
    try {
        for (const Step step : kSteps) {
            stop = (this->*step)();
            if (stop) {
                break;
            }
        }
        if (!stop) {
            return SessionEnd::Orderly;
        }
        if (*stop == Stop::NotRun) {
            link_.Close();
            return SessionEnd::NotRun;
        }
        if (*stop == Stop::Failure) {
            return FailurePath();
        }
    } catch (const std::exception& error) {
        // Table bounds, memory: the session's one run-time error handler.
        softwareErrorReason_ = error.what();
    }
    return SoftwareErrorStop();
}

Session::Result Session::Start() {
    // The reset this session acts on: one requested while it runs waits for
    // the next session, so nothing the user does now skips an upload.
    reset_ = PendingReset(c_.state, c_.settings);
    if (!link_.Open()) {
        const std::string why = link_.OpenFailureText();
        return SoftwareError("the scanner's port could not be opened" +
                             (why.empty() ? std::string() : " (" + why + ")"));
    }
    failedStep_.clear();
    if (c_.portNumber >= 255) {
        return Stop::NotRun;
    }
    return {};
}

Session::Result Session::Identify() {
    const auto serial = ReadSerialNumber(link_);
    if (const Result stop = Check("SN", serial, "the serial number reply is short")) {
        return stop;
    }
    serial_ = *serial;
    c_.state.NoteScannerSerial(serial_);
    if (c_.state.testMode) {
        Caption("Progress: Got Serial number");
        observer_.SetWindowTitle("Tallybird, connected to serial number " +
                                 std::to_string(serial_ + kDisplayedSerialOffset));
    }
    const auto version = ReadVersion(link_);
    if (const Result stop = Check("VR", version, "the version reply is short")) {
        return stop;
    }
    version_ = *version;
    c_.state.NoteScannerVersion(version_);
    geometry_ = GeometryForVersion(version_);
    if (version_ != "H1" && !Sent("VY", AcknowledgeVersion(link_, 2))) {
        return Stop::Failure;
    }
    observer_.EnableKeyboardWedgeItem(version_.front() == 'W');
    return {};
}

Session::Result Session::ReadScanLogStep() {
    // Only Reset Scanner, which warned that they are lost, skips the scans; a
    // reset the program decided by itself uploads them first.
    if (reset_.pending && reset_.discardsScans) {
        return {};
    }
    const auto records = ReadScanLogRecords(link_);
    if (!records) {
        return Failed("SC");
    }
    scanLog_ = ReadScanLog(*records, serial_);
    if (!scanLog_) {
        return SoftwareError("the scan log (\"SC\") is not whole 6-byte records, or holds more "
                             "chips than the tables");
    }
    ProgressCaption("Got scanned chips");
    return {};
}

Session::Result Session::HandleMarker() {
    const auto markerFile = MarkerFile();
    // A session killed while it saved its files left their temporary files;
    // this scanner's files are written by its session alone.
    for (const auto& file : {markerFile, SessionFile()}) {
        if (const int removed = RemoveLeftoverTemporaries(file); removed > 0) {
            qCInfo(lcSession) << "removed" << removed << "temporary file(s) of"
                              << file.filename().c_str() << "left by an interrupted session";
        }
    }
    std::error_code ec;
    // Only a regular file is a marker; whatever else stands in its place
    // (a folder, a pipe) is left alone and read as no marker.
    if (std::filesystem::is_regular_file(markerFile, ec)) {
        const auto bytes = ReadWholeFile(markerFile);
        const std::string marker = bytes ? FromSingleByte(*bytes) : std::string();
        qCInfo(lcSession) << "marker of the last session:" << marker.c_str();
        if (marker == kRewriteMarker) {
            // This session's own request, with the scans it has read kept.
            const ResetRequest request = RequestReset(c_.state, c_.settings, ResetKind::KeepsScans);
            reset_ = {true, reset_.pending && reset_.discardsScans, request.number};
        }
        // A "ClearScan" marker needs nothing here: this session clears the
        // scan log at its end, after the chips in it were uploaded.
        std::filesystem::remove(markerFile, ec);
    }
    markerHandled_ = true;
    return {};
}

// "CC" and the erases of the four scan-log sectors.
Session::Result Session::ClearScanLog() {
    if (!Sent("CC", ClearScanCount(link_))) {
        return Stop::Failure;
    }
    for (int i = 0; i < 4; ++i) {
        if (!Sent(kScanLogSteps[i],
                  EraseSector(link_, ScanLogSectorAddress(geometry_.flashTopByte, i)))) {
            return Stop::Failure;
        }
    }
    return {};
}

Session::Result Session::UploadBeforeReset() {
    if (!reset_.pending || !scanLog_ || c_.state.testMode) {
        return {};
    }
    if (const ServiceStatus upload = c_.service.Upload(scanLog_->scanList); upload.Failed()) {
        return SoftwareError("upload before the reset: " + upload.error); // nothing is erased
    }
    scansUploaded_ = true;
    return {};
}

Session::Result Session::Reset() {
    if (!reset_.pending) {
        return {};
    }
    const auto sessionFile = SessionFile();
    std::error_code ec;
    if (std::filesystem::exists(sessionFile, ec)) {
        // Named only while the deletion may fail: a later failure of another
        // kind must not be reported as this file.
        const std::string stepBefore = failedStep_;
        failedStep_ = "Can't delete file " + sessionFile.string();
        if (!std::filesystem::remove(sessionFile, ec) || ec) {
            return SoftwareError(ec.message());
        }
        failedStep_ = stepBefore;
    }
    if (!Sent("DL", EnterDownloadMode(link_)) || !Sent("WE", EnableWrites(link_)) ||
        !Sent("CE", EraseAllMemory(link_)) || !Sent("CC", ClearScanCount(link_)) ||
        !Sent("TW", WriteTimeStamp(link_, kResetStamp))) {
        return Stop::Failure;
    }
    for (int second = 0; second <= 30; ++second) {
        Caption(ResetCaption(second));
        // The bar shows the caption's own figure.
        observer_.ShowStepProgress(ResetPercent(second), 100);
        c_.sleep(std::chrono::seconds(1));
    }
    return {};
}

Session::Result Session::LoadOrRebuildSessionFile() {
    const auto stamp = ReadTimeStamp(link_);
    if (const Result stop = Check("TN", stamp, "the time stamp reply is short")) {
        return stop;
    }
    scannerTimeStamp_ = static_cast<double>(*stamp);
    ProgressCaption("Got time stamp");

    const auto sessionFile = SessionFile();
    file_.timeStamp = 0;
    bool present = false;
    std::error_code ec;
    if (std::filesystem::exists(sessionFile, ec)) {
        ProgressCaption("loading file");
        const auto bytes = ReadWholeFile(sessionFile);
        if (auto loaded = bytes ? DecodeSessionFile(*bytes) : std::nullopt) {
            file_ = std::move(*loaded);
            c_.organisationTable = file_.organisations;
            present = true;
        }
    }
    if (present && file_.timeStamp > scannerTimeStamp_) {
        return Failed(kRecoveryStep); // a write to the scanner never completed
    }
    if (present && file_.timeStamp == scannerTimeStamp_) {
        return {};
    }

    ProgressCaption("Progress: Creating new file");
    file_.list = LostList{};
    ProgressCaption("Progress: Creating new file 1");
    const auto records = ReadListRecords(link_);
    if (!records) {
        return Failed("UP");
    }
    auto list = ReadListReply(*records);
    if (!list) {
        return SoftwareError("the list read back (\"UP\") is not whole 7-byte records, or holds "
                             "more than the table");
    }
    file_.list = std::move(*list);
    ProgressCaption("Progress: converting chips finished");
    ProgressCaption("Progress: Creating new file 2");
    file_.timeStamp = scannerTimeStamp_;
    file_.organisations = c_.organisationTable;
    if (scanLog_) {
        file_.scannedValues = scanLog_->values;
    }
    // A new copy of the list means a scanner new to this computer (or reset):
    // its registration is due until the service has accepted it.
    if (!c_.state.testMode &&
        !WriteFileAtomically(DataPath(RegistrationDueFileName(serial_)), ByteView{})) {
        qCWarning(lcSession) << "cannot note the registration as due in"
                             << c_.state.dataFolder.c_str();
    }
    if (!WriteFileAtomically(sessionFile, EncodeSessionFile(file_))) {
        return DiskWriteFailed(sessionFile);
    }
    fileCreated_ = true;
    return {};
}

// Registration, upload, and the list changes to program when the service
// has any.
Session::Result Session::ServerExchange() {
    changes_.reset();
    if (const Result stop = RegisterWhenDue()) {
        return stop;
    }
    observer_.SetUpdateLabel("Last Update: " + LastUpdateText(file_.timeStamp));
    if (!reset_.pending && !c_.state.testMode && !scansUploaded_ && scanLog_) {
        if (const ServiceStatus upload = c_.service.Upload(scanLog_->scanList); upload.Failed()) {
            // The log stays on the scanner for the next session.
            return SoftwareError("upload: " + upload.error);
        }
        scansUploaded_ = true;
    }
    if (reset_.pending && !ClearResetActedOn(c_.state, c_.settings, reset_)) {
        qCInfo(lcSession) << "a reset requested during this session waits for the next one";
    }

    ProgressCaption("Progress: Getting server database");
    auto reply = c_.service.FetchLostList(file_.timeStamp, c_.record.countryNumber, version_);
    if (reply.Failed()) {
        return SoftwareError("list changes: " + reply.error);
    }
    ProgressCaption("Progress: Getting server time");
    const auto serviceTime = c_.service.FetchServiceTime();
    if (serviceTime.Failed()) {
        return SoftwareError("service time: " + serviceTime.error);
    }
    if (const Result stop = ReadServiceTime(serviceTime.value)) {
        return stop;
    }
    if (serviceTime_ <= 0 || reply.value.outcome == LostListOutcome::NoChange) {
        return {};
    }
    if (reply.value.outcome == LostListOutcome::Malformed) {
        return SoftwareError("the list changes are not whole 8-byte records, or too many");
    }
    ListChanges changes;
    for (const AddedChip& added : reply.value.addedChips) {
        changes.added.push_back(added.number);
        changes.addedAttributes.push_back(static_cast<std::uint8_t>(added.attribute));
    }
    changes.removed = std::move(reply.value.removedChips);
    Caption(ShowProgress() ? "Progress: Added/Removed numbers" : "Progress: Updating Scanner");
    changes_ = std::move(changes);
    return {};
}

// The registration goes out when the copy of the list was made anew, and
// again in every later session until the service has accepted it. A refusal
// does not stop the session; a registration lost on the way does.
Session::Result Session::RegisterWhenDue() {
    if (c_.state.testMode) {
        return {};
    }
    const auto dueFile = DataPath(RegistrationDueFileName(serial_));
    std::error_code ec;
    if (!fileCreated_ && !std::filesystem::is_regular_file(dueFile, ec)) {
        return {};
    }
    const ServiceStatus status = c_.service.Register(c_.record, static_cast<double>(serial_));
    if (status.Failed() && !status.refused) {
        return SoftwareError("registration: " + status.error);
    }
    if (status.refused) {
        qCWarning(lcSession) << "registration:" << status.error.c_str()
                             << "- it is sent again next session";
        return {};
    }
    std::filesystem::remove(dueFile, ec);
    return {};
}

// The service's clock becomes the scanner's stamp and the saved copy's
// stamp alike, so both are the same whole number of seconds that four bytes
// can hold; a clock that cannot be one stops the session before anything is
// programmed. A clock of 0 or below only means no list update.
Session::Result Session::ReadServiceTime(double reply) {
    if (!std::isfinite(reply)) {
        return SoftwareError("the service time is not a finite number");
    }
    if (reply <= 0) {
        serviceTime_ = reply;
        return {};
    }
    const double seconds = std::floor(reply);
    if (seconds < 1 || seconds > kLatestScannerStamp) {
        return SoftwareError("the service time " + std::to_string(reply) +
                             " does not fit the scanner's stamp");
    }
    serviceTime_ = seconds;
    return {};
}

Session::Result Session::WriteListRecordStep(const std::string& step, std::int32_t slot,
                                             double value, std::uint8_t attribute) {
    bool written = true;
    for (const WriteCommand& write : ListRecordWrites(slot, ListRecordOf(value, attribute))) {
        // Only the last write of a page-crossing pair counts.
        written = WriteBytes(link_, write.address, write.data);
    }
    return written ? Result{} : Failed(step);
}

// From the first write into the list until the session file holding the
// new list is saved, a "ReWrite" marker stays on disk: a stop anywhere in
// between (a failed command, a software error, a kill, a power cut) makes
// the next session rewrite the list from the service instead of trusting a
// copy that no longer matches the scanner.
Session::Result Session::MarkListBeingRewritten() {
    const auto markerFile = MarkerFile();
    if (!WriteFileAtomically(markerFile, ToSingleByte(kRewriteMarker))) {
        return DiskWriteFailed(markerFile, ", which must be on disk before the list is written");
    }
    rewriteMarkerOnDisk_ = true;
    return {};
}

// The saved copy matches the scanner again: the marker has done its work.
void Session::ListSaved() {
    if (!rewriteMarkerOnDisk_) {
        return;
    }
    const auto markerFile = MarkerFile();
    std::error_code ec;
    std::filesystem::remove(markerFile, ec);
    if (ec) {
        qCWarning(lcSession) << "cannot remove" << markerFile.c_str() << ":" << ec.message().c_str()
                             << "- the next session rewrites the list";
    }
    rewriteMarkerOnDisk_ = false;
}

Session::Result Session::ProgramList() {
    if (!changes_) {
        return {};
    }
    LostList& list = file_.list;
    ListMerger merger(list, *changes_);
    const ClearingPlan clearing = merger.MergeRemovals();
    const RefillPlan refill = merger.MergeAdditions(geometry_);
    const bool writesList = !clearing.clearedSlots.empty() || !refill.erasedSectors.empty() ||
                            !refill.rewrittenSlots.empty() || !refill.appended.empty();
    if (writesList) {
        if (const Result stop = MarkListBeingRewritten()) {
            return stop;
        }
    }
    Sent("DL", EnterDownloadMode(link_));
    for (std::size_t i = 0; i < clearing.clearedSlots.size(); ++i) {
        if (const Result stop = WriteListRecordStep("WC1", clearing.clearedSlots[i], 0, 0)) {
            return stop;
        }
        ProgressCaption("Progress: Tallybird Writing " + std::to_string(i));
    }

    for (const int sector : refill.erasedSectors) {
        if (!Sent("SE", EraseSector(link_, static_cast<std::uint32_t>(sector) * kSectorBytes))) {
            return Stop::Failure;
        }
    }
    ProgressCaption("Progress: Programming Scanner");
    const auto total = static_cast<int>(refill.rewrittenSlots.size() + refill.appended.size());
    int done = 0;
    for (const std::int32_t slot : refill.rewrittenSlots) {
        const auto k = static_cast<std::size_t>(slot);
        if (const Result stop = WriteListRecordStep(
                "WC2", slot, list.values[k], static_cast<std::uint8_t>(list.attributes[k]))) {
            return stop;
        }
        ProgressCaption("Progress: Tallybird removing " + std::to_string(slot));
        observer_.ShowStepProgress(++done, total);
    }
    for (const Appended& appended : refill.appended) {
        const auto k = static_cast<std::size_t>(appended.slot);
        if (const Result stop =
                WriteListRecordStep("WC3", appended.slot, list.values[k],
                                    static_cast<std::uint8_t>(list.attributes[k]))) {
            return stop;
        }
        if (appended.addedIndex % 100 == 0) {
            Caption("Progress: Tallybird sector " + std::to_string(appended.slot + 1));
        }
        observer_.ShowStepProgress(++done, total);
    }
    if (refill.notAppended > 0) {
        observer_.ShowMessage(
            "Scanner memory full",
            "The scanner's memory is full: " + std::to_string(refill.notAppended) +
                " chip numbers of missing animals could not be stored on it.",
            MessageIcon::Exclamation);
    }
    return {};
}

Session::Result Session::WriteOrganisationsAndTimeStamp() {
    if (!changes_) {
        return {};
    }
    ProgressCaption("Progress: Writing Organisation");
    auto table = c_.service.FetchOrganisations(c_.record.countryNumber);
    if (table.Failed()) {
        return SoftwareError("organisations: " + table.error);
    }
    c_.organisationTable = std::move(table.value);
    const OrganisationUpdate update(link_, geometry_.flashTopByte, c_.sleep);
    if (!update.Apply(c_.organisationTable)) {
        return Failed("CO");
    }
    if (serviceTime_ > 0) {
        ProgressCaption("Progress: Writing Time Stamp");
        const auto seconds = ScannerStamp(serviceTime_);
        if (!seconds) {
            return SoftwareError("the service time does not fit the scanner's stamp");
        }
        scannerTimeStamp_ = serviceTime_;
        file_.timeStamp = serviceTime_;
        if (!Sent("TW", WriteTimeStamp(link_, *seconds))) {
            return Stop::Failure;
        }
    }
    file_.list.RecomputeCount();
    return {};
}

Session::Result Session::HistorySaveAndClear() {
    static const std::vector<std::string> kNoScans;
    const ChipHistory history =
        BuildChipHistory(scanLog_ ? scanLog_->texts : kNoScans, file_.list, c_.clock);
    observer_.ShowChipList(history);

    if (scanLog_) {
        file_.scannedValues = scanLog_->values;
    }
    file_.organisations = c_.organisationTable;
    ProgressCaption("Progress: Saving File");
    const auto sessionFile = SessionFile();
    if (!WriteFileAtomically(sessionFile, EncodeSessionFile(file_))) {
        return DiskWriteFailed(sessionFile);
    }
    ListSaved();

    ProgressCaption("Progress: Clearing Scanned chips");
    if (const Result stop = ClearScanLog()) {
        return stop;
    }
    Sent("EF", Sleep(link_));
    return {};
}

Session::Result Session::OrderlyEnd() {
    ProgressCaption("Progress: Putting to sleep");
    bool wedge = false;
    if (version_.front() == 'W') {
        wedge = observer_.KeyboardWedgeItemChecked();
    } else {
        observer_.UncheckKeyboardWedgeItem();
    }
    c_.state.wedgeActive = wedge;
    if (wedge && !Sent("KW", SetKeyboardMode(link_, 1))) {
        return Stop::Failure;
    }
    c_.sleep(std::chrono::seconds(2));
    SignalSessionEnd(link_);
    Caption(wedge ? "Progress: Scanner connected, Keyboard mode"
                  : "Progress: Scanner connected, safe to remove");
    link_.Close();
    if (wedge) {
        observer_.StartKeyboardWedge();
    }
    return {};
}

SessionEnd Session::FailurePath() {
    if (link_.IsOpen()) {
        link_.Close();
    }
    observer_.ShowMessage("USB Fail", "Device Unplugged during write: " + failedStep_,
                          MessageIcon::Critical);
    // A list written only in part is rewritten next time, whatever failed.
    const std::string marker = rewriteMarkerOnDisk_ ? kRewriteMarker : MarkerForStep(failedStep_);
    qCWarning(lcSession) << "session failed at" << failedStep_.c_str() << "- marker"
                         << marker.c_str();
    const std::string reason = FailureReason();
    stopStep_ = failedStep_;
    failedStep_ = kDiskWriteStep;
    if (serial_ >= 0) {
        const auto markerFile = MarkerFile();
        std::error_code ec;
        // An older marker whose repair is still due stays as it is.
        const bool olderMarkerDue = !markerHandled_ && std::filesystem::exists(markerFile, ec);
        if (!olderMarkerDue && !WriteFileAtomically(markerFile, ToSingleByte(marker))) {
            softwareErrorReason_ = "cannot write " + markerFile.string();
            return SoftwareErrorStop();
        }
    }
    observer_.SessionStopped(reason);
    return SessionEnd::Failure;
}

std::string Session::FailureReason() const {
    if (failedStep_ == kRecoveryStep) {
        return "the scanner's list is older than the copy on this computer (an earlier write "
               "never completed)";
    }
    if (serial_ < 0) {
        return "the scanner did not answer (" + failedStep_ + ")";
    }
    return "the scanner stopped answering during \"" + failedStep_ +
           "\"; the next session repairs what was left half done";
}

SessionEnd Session::SoftwareErrorStop() {
    stopStep_ = failedStep_;
    qCWarning(lcSession) << "software error:" << failedStep_.c_str()
                         << softwareErrorReason_.c_str();
    link_.Close();
    observer_.ShowMessage(
        "Tallybird", "Software Error - " + failedStep_ + ", please close and restart the program",
        MessageIcon::Critical);
    observer_.SessionStopped(softwareErrorReason_.empty() ? failedStep_ : softwareErrorReason_);
    return SessionEnd::SoftwareError;
}

} // namespace

const char* SessionEndName(SessionEnd end) {
    switch (end) {
    case SessionEnd::Orderly:
        return "orderly end";
    case SessionEnd::Failure:
        return "failure path";
    case SessionEnd::SoftwareError:
        return "software error";
    case SessionEnd::NotRun:
        break;
    }
    return "not run";
}

SessionEnd RunSession(SessionContext& context) {
    return Session(context).Run();
}

} // namespace tallybird
