// `tallybird-cli sync` as a process with a directory, a FIFO or a dangling
// symbolic link where the data folder should hold the registration record,
// the scanner's session file or the failure marker. Whatever is there, the
// session ends by itself with one of its own exit codes, and nothing is
// ever written through the link.
#include "support/hostile_files.h"
#include "support/scanner_sim.h"
#include "support/service_sim.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <tuple>

namespace tallybird::test {
namespace {

constexpr const char* kState =
    R"({"time": 1765350000, "countries": {"1": {"lost": [{"chip": "826000000000002"}],
        "organisations": ["Vets North", "01632 960001"]}}})";

// The simulated scanner's serial number is 66051.
constexpr const char* kRegistrationRecord = "TBLREG.tbf";
constexpr const char* kSessionFile = "TBM00066051.tbf";
constexpr const char* kMarker = "TBM00066051.err";

using HostileRow = std::tuple<const char*, HostileFile>;

class HostileDataFileTest : public testing::TestWithParam<HostileRow> {
protected:
    TempDir dir;
    ServiceSim service{dir.Path(), kState};
    std::filesystem::path config = dir / "config";
    std::filesystem::path data = config / "data-home" / "Tallybird";

    void SetUp() override {
        std::filesystem::create_directories(data);
        std::filesystem::create_directories(dir / "scanner");
        WriteCliSettings(config, "ServerBaseUrl=" + service.BaseUrl() + "\n",
                         "7=" + (dir / "scanner" / "kivo").string() + "\n");
    }
};

TEST_P(HostileDataFileTest, SyncEndsByItselfAndNeverWritesThroughALink) {
    const auto [name, kind] = GetParam();
    const auto file = data / name;
    ASSERT_TRUE(PlaceHostileFile(kind, file));
    // The link drops while the list is programmed: the session has read and
    // rebuilt the session file, and its failure path leaves a marker.
    ScannerSim scanner(dir / "scanner", {"--scan", "826000000000002", "--drop-after", "8"});

    const ProcessResult r = RunCli(config, {"sync", "7"}, std::chrono::seconds(30));
    EXPECT_FALSE(r.timedOut) << "the session blocked";
    EXPECT_GE(r.exitCode, 0) << "ended by a signal\n" << r.err;
    EXPECT_LE(r.exitCode, 2) << r.err;
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(DanglingTarget(file))))
        << "written through the link";
}

INSTANTIATE_TEST_SUITE_P(Files, HostileDataFileTest,
                         testing::Combine(testing::Values(kRegistrationRecord, kSessionFile,
                                                          kMarker),
                                          testing::Values(HostileFile::Directory, HostileFile::Fifo,
                                                          HostileFile::DanglingSymlink)),
                         [](const testing::TestParamInfo<HostileRow>& instance) {
                             std::string file = std::get<0>(instance.param);
                             file = file.substr(0, file.find('.')) + "_" +
                                    file.substr(file.find('.') + 1);
                             return file + "_" + Name(std::get<1>(instance.param));
                         });

} // namespace
} // namespace tallybird::test
