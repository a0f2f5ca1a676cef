#include "support/service_sim.h"

#include "support/test_support.h"
#include "web/service_client.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <vector>

namespace tallybird {
namespace {

using namespace std::chrono_literals;

// Country 1: a current list of two chips and a log of three later changes.
// Countries 1, 2 and 3: organisation lists for the table cases.
constexpr const char* kState = R"({
  "time": 1700000000,
  "version": "2.6\r\n",
  "installer": "#!/bin/sh\nexit 0\n",
  "countries": {
    "1": {
      "lost": [{"chip": "826000000000001", "attribute": 4},
               {"chip": "001000000000002", "attribute": 0}],
      "log": [{"time": 1600000100, "operation": 1, "chip": "826000000000001", "attribute": 4},
              {"time": 1600000200, "operation": 3, "chip": "826000000000009"},
              {"time": 1600000300, "operation": 102, "chip": "826000000000003"}],
      "organisations": ["Vets North", "01632 960001", "Dog Rescue", "01632 960002"]
    },
    "2": {"organisations": ["Cats & Co.", "01632 960003", ""]},
    "3": {"organisations": ["Abcdefghijklmnopqrst", "0123456789012345678"]}
  }
})";

class ServiceExchangeTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Loopback requests never go through a proxy of the environment.
        setenv("no_proxy", "127.0.0.1", 1);
        sim = std::make_unique<test::ServiceSim>(folder.Path(), kState);
        service = std::make_unique<ServiceClient>(sim->BaseUrl(), http);
    }

    std::vector<std::string> Targets() const {
        std::vector<std::string> targets;
        for (const QJsonValue& request : sim->State().value("requests").toArray()) {
            targets.push_back(request.toObject().value("target").toString().toStdString());
        }
        return targets;
    }

    test::TempDir folder;
    std::unique_ptr<test::ServiceSim> sim;
    CurlHttpClient http;
    std::unique_ptr<ServiceClient> service;
};

TEST_F(ServiceExchangeTest, EveryEndpointIsRequestedWithItsExactAddress) {
    RegistrationRecord record;
    record.ownerName = "Rose-Hill Farm's";
    record.addressLine1 = "1, Mill Lane";
    record.emailAddress = "rose@example.org";
    record.city = "Llanfaelog";
    record.county = "Ynys Môn";
    record.countryNumber = 1;
    record.postCode = "LL63 5TT";
    record.phoneNumber = "+44 1632 960123";
    EXPECT_FALSE(service->Register(record, 16777215).Failed());
    EXPECT_FALSE(service->Upload("serial number=4660|826000000000001|*AB*123*4567|").Failed());
    EXPECT_FALSE(service->FetchLostList(1600000000, 1, "H1").Failed());
    EXPECT_FALSE(service->FetchServiceTime().Failed());
    EXPECT_FALSE(service->FetchOrganisations(44).Failed());
    EXPECT_FALSE(service->FetchSoftwareVersion().Failed());

    const std::vector<std::string> expected = {
        "/alpha/scanreg.php?d=Rose%2DHill+Farm%27s&a=1%2C+Mill+Lane&b=rose%40example%2Eorg"
        "&y=Llanfaelog&w=Ynys+M%F4n&c=1&p=LL63+5TT&n=%2B44+1632+960123&s=16777215",
        "/alpha/upscan.php",
        "/alpha/getlost.php?d=1600000000&c=1&v=H1",
        "/alpha/getscannertime.php",
        "/alpha/getorganisations.php?c=44",
        "/alpha/softwareversion.php"};
    EXPECT_EQ(Targets(), expected);

    const QJsonObject state = sim->State();
    const QJsonArray params =
        state.value("registrations").toArray().at(0).toObject().value("params").toArray();
    std::vector<std::string> names;
    for (const QJsonValue& p : params) {
        names.push_back(p.toObject().value("name").toString().toStdString());
    }
    EXPECT_EQ(names, (std::vector<std::string>{"d", "a", "b", "y", "w", "c", "p", "n", "s"}));
    EXPECT_EQ(params.at(0).toObject().value("value").toString(), "Rose-Hill Farm's");
    EXPECT_EQ(params.at(4).toObject().value("value").toString(), "Ynys Môn");

    const QJsonObject upload = state.value("uploads").toArray().at(0).toObject();
    EXPECT_EQ(upload.value("body").toString(), "serial number=4660|826000000000001|*AB*123*4567|");
    EXPECT_EQ(upload.value("body").toString().count('|'), 3);
    EXPECT_EQ(upload.value("headers").toObject().value("Content-Type").toString(),
              "application/x-www-form-urlencoded");
    EXPECT_EQ(state.value("requests").toArray().at(1).toObject().value("method").toString(),
              "POST");
}

TEST_F(ServiceExchangeTest, ChangeLogGivesTheWholeListOrTheChangesAfterTheLastUpdate) {
    const auto whole = service->FetchLostList(0, 1, "H1");
    ASSERT_EQ(whole.value.outcome, LostListOutcome::Changes);
    EXPECT_EQ(whole.value.addedChips, (AddedChips{{826000000000001.0, 4}, {1000000000002.0, 0}}));
    EXPECT_TRUE(whole.value.removedChips.empty());

    // After the first change: operation 3 is skipped, the removal stays.
    const auto later = service->FetchLostList(1600000150, 1, "H1");
    ASSERT_EQ(later.value.outcome, LostListOutcome::Changes);
    EXPECT_TRUE(later.value.addedChips.empty());
    EXPECT_EQ(later.value.removedChips, (RemovedChips{826000000000003.0}));

    const auto none = service->FetchLostList(1600000300, 1, "H1");
    EXPECT_EQ(none.value.outcome, LostListOutcome::NoChange);
    const auto unknownCountry = service->FetchLostList(0, 77, "H1");
    EXPECT_EQ(unknownCountry.value.outcome, LostListOutcome::NoChange);
}

TEST_F(ServiceExchangeTest, LostListRepliesAreReadAsTheyArrive) {
    struct Case {
        std::string mode;
        std::string hex;
        LostListOutcome outcome;
        AddedChips added;
        RemovedChips removed;
    };
    const std::vector<Case> cases = {
        // Lower-case "<html": read as a record (operation 'a' = 97 is skipped).
        {"raw", "3c68746d6c3e6162", LostListOutcome::Changes, {}, {}},
        {"raw",
         "3c68746d6c3e0107",
         LostListOutcome::Changes,
         {{241e12 + 40 * 4294967296.0 + 0x746d6c3e, 7}},
         {}},
        // Byte 0 = 255 reads as 0; byte 1 = 0x40 gives country 1. Operation 3 skipped.
        {"raw",
         "ff40000000050209"
         "0000000000010300",
         LostListOutcome::Changes,
         {{1e12 + 5, 9}},
         {}},
        {"raw",
         "0040000000100201"
         "0040000000116600",
         LostListOutcome::Changes,
         {{1e12 + 16, 1}},
         {1e12 + 17}},
        {"raw", "0000000000010000", LostListOutcome::Changes, {}, {}},
        {"raw", "000000000001010000000000", LostListOutcome::Malformed, {}, {}},
        {"partial", "", LostListOutcome::Malformed, {}, {}},
        {"html", "", LostListOutcome::NoChange, {}, {}},
        {"500", "", LostListOutcome::NoChange, {}, {}},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(sim->SetFault("getlost.php", c.mode, 0, c.hex));
        const auto read = service->FetchLostList(0, 1, "H1");
        EXPECT_FALSE(read.Failed()) << c.mode << c.hex;
        EXPECT_EQ(read.value.outcome, c.outcome) << c.mode << c.hex;
        EXPECT_EQ(read.value.addedChips, c.added) << c.mode << c.hex;
        EXPECT_EQ(read.value.removedChips, c.removed) << c.mode << c.hex;
    }
}

TEST_F(ServiceExchangeTest, ServiceTimeIsTheReplysNumber) {
    EXPECT_EQ(service->FetchServiceTime().value, 1700000000);
    struct Case {
        std::string mode;
        std::string hex;
        double value;
    };
    for (const Case& c :
         {Case{"raw", "2d35", -5}, Case{"raw", "", 0}, Case{"html", "", 0}, Case{"500", "", 0}}) {
        ASSERT_TRUE(sim->SetFault("getscannertime.php", c.mode, 0, c.hex));
        const auto time = service->FetchServiceTime();
        EXPECT_FALSE(time.Failed()) << c.mode << c.hex;
        EXPECT_EQ(time.value, c.value) << c.mode << c.hex;
    }
}

TEST_F(ServiceExchangeTest, OrganisationTablesFromTheServicesEncodedLists) {
    struct Case {
        int country;
        std::vector<std::string> entries;
    };
    for (const Case& c : {
             Case{1, {"Vets North 01632 960001", "Dog Rescue 01632 960002"}},
             Case{2, {"Cats & Co. 01632 960003"}},
             Case{3, {"Abcdefghijklmnopqrst 0123456789"}},
             Case{99, {}},
         }) {
        const auto read = service->FetchOrganisations(c.country);
        ASSERT_FALSE(read.Failed());
        std::vector<std::string> entries;
        for (std::size_t i = 1; i < read.value.Count(); ++i) {
            entries.emplace_back(read.value.entries[i].begin(), read.value.entries[i].end());
        }
        EXPECT_EQ(entries, c.entries) << c.country;
        EXPECT_EQ(read.value.entries[0],
                  Bytes(kDefaultOrganisation.begin(), kDefaultOrganisation.end()));
    }
}

TEST_F(ServiceExchangeTest, ASlowServiceIsAbandonedAtTheTimeOut) {
    const auto limit = test::Scaled(400ms);
    const double delay = 20.0 * test::TimeFactor();
    ASSERT_TRUE(sim->SetFault("getscannertime.php", "slow", delay));
    CurlHttpClient impatient({test::Scaled(2000ms), limit, test::Scaled(2000ms)});
    ServiceClient slow(sim->BaseUrl(), impatient);

    const auto start = std::chrono::steady_clock::now();
    const auto time = slow.FetchServiceTime();
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(time.Failed());
    EXPECT_EQ(time.value, 0);
    // curl's timer may fire a hair early; the point is that it waited for
    // the limit and no longer, not 20 s.
    EXPECT_GE(took, limit - 50ms);
    EXPECT_LT(took, limit + test::Scaled(3000ms));
}

TEST_F(ServiceExchangeTest, TransportFailuresAreErrorsAndNon2xxRepliesReadEmpty) {
    ASSERT_TRUE(sim->SetFault("softwareversion.php", "500"));
    const auto version = service->FetchSoftwareVersion();
    EXPECT_FALSE(version.Failed());
    EXPECT_TRUE(version.value.empty());

    ASSERT_TRUE(sim->SetFault("upscan.php", "500"));
    EXPECT_TRUE(service->Upload("serial number=1|").Failed());
    ASSERT_TRUE(sim->SetFault("scanreg.php", "500"));
    EXPECT_TRUE(service->Register({}, 1).refused);

    ASSERT_TRUE(sim->SetFault("getlost.php", "truncated"));
    const auto cut = service->FetchLostList(0, 1, "H1");
    EXPECT_TRUE(cut.Failed());
    EXPECT_EQ(cut.value.outcome, LostListOutcome::NoChange);

    const test::RefusingPort refusing;
    ServiceClient nobody("http://127.0.0.1:" + std::to_string(refusing.Port()) + "/alpha/", http);
    const auto refused = nobody.FetchServiceTime();
    EXPECT_TRUE(refused.Failed());
    EXPECT_EQ(refused.value, 0);
    EXPECT_TRUE(nobody.Upload("serial number=1|").Failed());
}

// Whatever stands where the partial download goes is replaced: a link is
// not written through, a pipe is not waited on.
TEST_F(ServiceExchangeTest, TheInstallerNeverGoesThroughALinkOrAPipe) {
    const auto file = folder / InstallerFileName("2.6");
    const auto partial = folder / (InstallerFileName("2.6") + ".part");
    const auto target = folder / "elsewhere";
    std::filesystem::create_symlink(target, partial);
    ASSERT_FALSE(service->DownloadInstaller("2.6", file).Failed());
    EXPECT_FALSE(std::filesystem::exists(target));
    EXPECT_TRUE(std::filesystem::is_regular_file(file));

    std::filesystem::remove(file);
    ASSERT_EQ(mkfifo(partial.c_str(), 0600), 0);
    ASSERT_FALSE(service->DownloadInstaller("2.6", file).Failed());
    EXPECT_TRUE(std::filesystem::is_regular_file(file));
}

TEST_F(ServiceExchangeTest, InstallerIsDownloadedWholeOrNotAtAll) {
    const auto reply = service->FetchSoftwareVersion();
    ASSERT_FALSE(reply.Failed());
    const std::optional<std::string> version = PlainVersion(reply.value);
    ASSERT_EQ(version, "2.6");

    const auto file = folder / InstallerFileName(*version);
    ASSERT_FALSE(service->DownloadInstaller(*version, file).Failed());
    EXPECT_EQ(test::ReadFile(file), Bytes({'#', '!', '/', 'b', 'i', 'n', '/', 's', 'h', '\n', 'e',
                                           'x', 'i', 't', ' ', '0', '\n'}));

    const auto missing = folder / InstallerFileName("9.9");
    EXPECT_TRUE(service->DownloadInstaller("9.9", missing).Failed());
    EXPECT_FALSE(std::filesystem::exists(missing));

    ASSERT_TRUE(sim->SetFault("download", "truncated"));
    const auto cut = folder / "cut.run";
    EXPECT_TRUE(service->DownloadInstaller("2.6", cut).Failed());
    EXPECT_FALSE(std::filesystem::exists(cut));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()),
                            std::filesystem::directory_iterator()),
              2); // the state file and the first installer, no partial file
}

TEST_F(ServiceExchangeTest, TheStateFileKeepsWhatWasReceivedWhenTheSimulatorStops) {
    ASSERT_TRUE(sim->SetFault("getlost.php", "html"));
    EXPECT_FALSE(service->Register({}, 7).Failed());
    sim.reset();

    const Bytes saved = test::ReadFile(folder / "service-state.json");
    const QJsonObject state =
        QJsonDocument::fromJson(QByteArray(reinterpret_cast<const char*>(saved.data()),
                                           static_cast<qsizetype>(saved.size())))
            .object();
    EXPECT_EQ(state.value("registrations").toArray().at(0).toObject().value("target").toString(),
              "/alpha/scanreg.php?d=&a=&b=&y=&w=&c=0&p=&n=&s=7");
    EXPECT_EQ(state.value("faults").toObject().value("getlost.php").toObject().value("mode"),
              "html");
    EXPECT_EQ(
        state.value("countries").toObject().value("1").toObject().value("lost").toArray().size(),
        2);
}

} // namespace
} // namespace tallybird
