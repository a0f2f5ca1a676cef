#include "web/service_client.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tallybird {
namespace {

Bytes B(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

// Answers every request with one canned reply and keeps what was asked.
class CannedHttp final : public HttpClient {
public:
    HttpReply reply;
    std::vector<std::string> urls;
    Bytes postedBody;
    std::string postedHeader;

    HttpReply Fetch(const std::string& url) override {
        urls.push_back(url);
        return reply;
    }
    HttpReply Post(const std::string& url, ByteView body, std::string_view header) override {
        urls.push_back(url);
        postedBody.assign(body.begin(), body.end());
        postedHeader = header;
        return reply;
    }
    HttpReply DownloadToFile(const std::string& url, const std::filesystem::path&,
                             const DownloadProgress&) override {
        urls.push_back(url);
        return reply;
    }
};

HttpReply Status(int status, std::string_view body = {}) {
    HttpReply r;
    r.status = status;
    if (status >= 200 && status <= 299) {
        r.body = B(body);
    }
    return r;
}

HttpReply Refused() {
    HttpReply r;
    r.transportError = "Connection refused";
    return r;
}

TEST(DecimalTextTest, PlainDigitsWithoutPointForWholeNumbers) {
    struct Case {
        double value;
        std::string text;
    };
    for (const Case& c : {Case{0, "0"}, Case{-5, "-5"}, Case{1700000000, "1700000000"},
                          Case{16777215, "16777215"}, Case{826000000000001.0, "826000000000001"},
                          Case{1e15, "1000000000000000"}, Case{2.5, "2.5"}}) {
        EXPECT_EQ(DecimalText(c.value), c.text) << c.value;
    }
}

TEST(ServiceClientTest, AddressesFollowTheBaseDirectly) {
    CannedHttp http;
    ServiceClient service("http://127.0.0.1:8642/alpha/", http);
    EXPECT_EQ(service.LostListAddress(1700000000, 1, "H1"),
              "http://127.0.0.1:8642/alpha/getlost.php?d=1700000000&c=1&v=H1");
    EXPECT_EQ(service.OrganisationsAddress(44),
              "http://127.0.0.1:8642/alpha/getorganisations.php?c=44");
    EXPECT_EQ(service.ServiceTimeAddress(), "http://127.0.0.1:8642/alpha/getscannertime.php");
    EXPECT_EQ(service.SoftwareVersionAddress(), "http://127.0.0.1:8642/alpha/softwareversion.php");
    // A version byte that would break the query is escaped; letters and digits are not.
    EXPECT_EQ(service.LostListAddress(0, 2, "&1 #"),
              "http://127.0.0.1:8642/alpha/getlost.php?d=0&c=2&v=%261%20%23");
}

TEST(ServiceClientTest, InstallerAddressIsOnTheServiceHostOnlyForPlainVersions) {
    CannedHttp http;
    struct Case {
        std::string base;
        std::string version;
        std::optional<std::string> address;
    };
    for (const Case& c : {
             Case{"http://127.0.0.1:8642/alpha/", "2.6",
                  "http://127.0.0.1:8642/download/setup2.6.run"},
             Case{"https://service.example/alpha/", " 2.10\r\n",
                  "https://service.example/download/setup2.10.run"},
             Case{"http://user:pw@[::1]:81/alpha/?x#y", "3", "http://[::1]:81/download/setup3.run"},
             Case{"http://127.0.0.1:8642/alpha/", "../../x", std::nullopt},
             Case{"http://127.0.0.1:8642/alpha/", "2.6 beta", std::nullopt},
             Case{"not an address", "2.6", std::nullopt},
         }) {
        EXPECT_EQ(ServiceClient(c.base, http).InstallerAddress(c.version), c.address)
            << c.base << " " << c.version;
    }
    EXPECT_EQ(InstallerFileName("2.6"), "setup2.6.run");
}

TEST(ServiceClientTest, UploadCountsOnlyA2xxReplyAsDone) {
    struct Case {
        HttpReply reply;
        bool failed;
    };
    for (const Case& c :
         {Case{Status(200), false}, Case{Status(204), false}, Case{Status(302), true},
          Case{Status(404), true}, Case{Status(500), true}, Case{Refused(), true}}) {
        CannedHttp http;
        http.reply = c.reply;
        ServiceClient service("http://h/alpha/", http);
        const ServiceStatus status = service.Upload("serial number=12|826000000000001|");
        EXPECT_EQ(status.Failed(), c.failed) << c.reply.status << c.reply.transportError;
        EXPECT_EQ(http.urls, std::vector<std::string>{"http://h/alpha/upscan.php"});
        EXPECT_EQ(http.postedHeader, "Content-Type: application/x-www-form-urlencoded");
        EXPECT_EQ(http.postedBody, B("serial number=12|826000000000001|"));
    }
}

// Only whether the registration reached the service counts: a refusal is
// told apart from a transport error, so the session can go on and send the
// registration again next time.
TEST(ServiceClientTest, RegistrationReachedRefusedOrLost) {
    CannedHttp http;
    ServiceClient service("http://h/alpha/", http);
    http.reply = Status(200);
    EXPECT_FALSE(service.Register({}, 1).Failed());
    http.reply = Status(500);
    const ServiceStatus refused = service.Register({}, 1);
    EXPECT_TRUE(refused.Failed());
    EXPECT_TRUE(refused.refused);
    EXPECT_NE(refused.error.find("500"), std::string::npos) << refused.error;
    http.reply = Refused();
    const ServiceStatus lost = service.Register({}, 1);
    EXPECT_TRUE(lost.Failed());
    EXPECT_FALSE(lost.refused);
}

TEST(ServiceClientTest, ATransportErrorIsReportedAndReadsAsAnEmptyReply) {
    CannedHttp http;
    http.reply = Refused();
    ServiceClient service("http://h/alpha/", http);

    const auto time = service.FetchServiceTime();
    EXPECT_TRUE(time.Failed());
    EXPECT_EQ(time.value, 0);

    const auto lost = service.FetchLostList(0, 1, "H1");
    EXPECT_TRUE(lost.Failed());
    EXPECT_EQ(lost.value.outcome, LostListOutcome::NoChange);

    const auto organisations = service.FetchOrganisations(1);
    EXPECT_TRUE(organisations.Failed());
    EXPECT_EQ(organisations.value.Count(), 1U);

    EXPECT_TRUE(service.FetchSoftwareVersion().Failed());
    EXPECT_TRUE(service.DownloadInstaller("2.6", "/nonexistent/setup2.6.run").Failed());
}

TEST(ServiceClientTest, NoDownloadIsTriedForAVersionThatIsNotPlain) {
    CannedHttp http;
    http.reply = Status(200);
    ServiceClient service("http://h/alpha/", http);
    EXPECT_TRUE(service.DownloadInstaller("2.6/../x", "/tmp/never").Failed());
    EXPECT_TRUE(http.urls.empty());
}

} // namespace
} // namespace tallybird
