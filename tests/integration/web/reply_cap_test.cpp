// Every reply body is capped: a service that never stops sending ends as a
// transport error at the cap, long before the time-out, with the process's
// memory bounded. The server here is a plain socket on 127.0.0.1 that sends
// canned bytes, so it can misbehave in ways a real server library would not.
#include "support/test_support.h"
#include "web/service_client.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace tallybird {
namespace {

using namespace std::chrono_literals;

constexpr std::size_t kMiB = std::size_t{1} << 20;

// How the server frames the body it sends.
enum class Framing {
    Chunked,    // Transfer-Encoding: chunked, then the last chunk
    UntilClose, // no length: the body ends when the connection closes
    Length,     // Content-Length: `announced`; the server then waits for the client to hang up
};

struct Flood {
    Framing framing;
    std::size_t bytes;         // body bytes sent to each request
    std::size_t announced = 0; // the Content-Length of Framing::Length
};

// Peak resident memory of this process in KiB.
long PeakRssKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Answers every request, one connection at a time, with status 200 and the
// body of its Flood. An "endless" flood is one far beyond every cap: it still
// ends, so a client without a cap fails the test instead of the machine.
class FloodServer {
public:
    explicit FloodServer(Flood flood) : flood_(flood) {
        listen_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (listen_ < 0 || bind(listen_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            listen(listen_, 4) != 0 ||
            getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            throw std::runtime_error("cannot listen on 127.0.0.1");
        }
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~FloodServer() {
        stopping_ = true;
        thread_.join();
        close(listen_);
    }
    FloodServer(const FloodServer&) = delete;
    FloodServer& operator=(const FloodServer&) = delete;

    std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(port_) + "/alpha/"; }
    // Body bytes the last connection took before it ended.
    std::size_t LastSent() const { return lastSent_; }

private:
    // Waits in short steps so the destructor is never kept waiting.
    bool WaitFor(int fd, short events) const {
        pollfd p{fd, events, 0};
        for (int waited = 0; !stopping_ && waited < 30'000; waited += 100) {
            if (poll(&p, 1, 100) > 0) {
                return true;
            }
        }
        return false;
    }

    void Serve() {
        while (!stopping_) {
            if (!WaitFor(listen_, POLLIN)) {
                continue;
            }
            const int connection = accept(listen_, nullptr, nullptr);
            if (connection >= 0) {
                ReadRequest(connection);
                Answer(connection);
                close(connection);
            }
        }
    }

    // The head and the body the request announced.
    void ReadRequest(int fd) const {
        std::string request;
        std::size_t headEnd = std::string::npos;
        std::size_t wanted = 0;
        char buffer[4096];
        while (headEnd == std::string::npos || request.size() < headEnd + 4 + wanted) {
            if (!WaitFor(fd, POLLIN)) {
                return;
            }
            const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
            if (got <= 0) {
                return;
            }
            request.append(buffer, static_cast<std::size_t>(got));
            if (headEnd == std::string::npos &&
                (headEnd = request.find("\r\n\r\n")) != std::string::npos) {
                const std::size_t field = request.find("Content-Length: ");
                if (field != std::string::npos && field < headEnd) {
                    wanted = std::strtoull(request.c_str() + field + 16, nullptr, 10);
                }
            }
        }
    }

    bool Send(int fd, const char* data, std::size_t length) const {
        while (length > 0) {
            if (!WaitFor(fd, POLLOUT)) {
                return false;
            }
            const ssize_t put = send(fd, data, length, MSG_NOSIGNAL);
            if (put <= 0) {
                return false;
            }
            data += put;
            length -= static_cast<std::size_t>(put);
        }
        return true;
    }

    void Answer(int fd) {
        std::string head = "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                           "Connection: close\r\n";
        if (flood_.framing == Framing::Chunked) {
            head += "Transfer-Encoding: chunked\r\n";
        } else if (flood_.framing == Framing::Length) {
            head += "Content-Length: " + std::to_string(flood_.announced) + "\r\n";
        }
        head += "\r\n";
        lastSent_ = 0;
        if (!Send(fd, head.data(), head.size())) {
            return;
        }
        const std::string piece(64 * 1024, 'x');
        while (lastSent_ < flood_.bytes) {
            const std::size_t length = std::min(piece.size(), flood_.bytes - lastSent_);
            const bool sent = flood_.framing == Framing::Chunked
                                  ? SendChunk(fd, piece.data(), length)
                                  : Send(fd, piece.data(), length);
            if (!sent) {
                return; // the client hung up
            }
            lastSent_ += length;
        }
        if (flood_.framing == Framing::Chunked) {
            Send(fd, "0\r\n\r\n", 5);
        } else if (flood_.framing == Framing::Length) {
            WaitFor(fd, POLLIN); // the client's hang-up
        }
    }

    bool SendChunk(int fd, const char* data, std::size_t length) const {
        char size[32];
        const int n = std::snprintf(size, sizeof size, "%zx\r\n", length);
        return Send(fd, size, static_cast<std::size_t>(n)) && Send(fd, data, length) &&
               Send(fd, "\r\n", 2);
    }

    Flood flood_;
    int listen_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<std::size_t> lastSent_{0};
    std::thread thread_;
};

bool SaysTooLarge(const std::string& error, std::size_t limit) {
    return error.find("too large") != std::string::npos &&
           error.find(std::to_string(limit / kMiB) + " MiB") != std::string::npos;
}

// One call of each request the service client makes; each returns the
// request's error and checks that its value reads as an empty reply, as it
// must outside a session.
struct Endpoint {
    const char* name;
    std::size_t cap;
    std::function<std::string(ServiceClient&, const std::filesystem::path&)> call;
};

const std::vector<Endpoint>& Endpoints() {
    static const std::vector<Endpoint> endpoints = {
        {"scanreg.php", kMaxReplyBytes,
         [](ServiceClient& s, const auto&) { return s.Register({}, 1).error; }},
        {"upscan.php", kMaxReplyBytes,
         [](ServiceClient& s, const auto&) { return s.Upload("serial number=1|").error; }},
        {"getlost.php", kMaxReplyBytes,
         [](ServiceClient& s, const auto&) {
             const auto read = s.FetchLostList(0, 1, "H1");
             const LostListReply empty = ReadLostList({});
             EXPECT_EQ(read.value.outcome, empty.outcome);
             EXPECT_TRUE(read.value.addedChips.empty() && read.value.removedChips.empty());
             return read.error;
         }},
        {"getscannertime.php", kMaxReplyBytes,
         [](ServiceClient& s, const auto&) {
             const auto read = s.FetchServiceTime();
             EXPECT_EQ(read.value, ReplyNumber({}));
             return read.error;
         }},
        {"getorganisations.php", kMaxReplyBytes,
         [](ServiceClient& s, const auto&) {
             const auto read = s.FetchOrganisations(1);
             EXPECT_EQ(read.value, BuildOrganisationTable({}));
             return read.error;
         }},
        {"softwareversion.php", kMaxReplyBytes,
         [](ServiceClient& s, const auto&) {
             const auto read = s.FetchSoftwareVersion();
             EXPECT_TRUE(read.value.empty());
             return read.error;
         }},
        {"installer", kMaxInstallerBytes,
         [](ServiceClient& s, const std::filesystem::path& folder) {
             const auto file = folder / InstallerFileName("2.6");
             const std::string error = s.DownloadInstaller("2.6", file).error;
             EXPECT_TRUE(std::filesystem::is_empty(folder)) << "no file, no partial file";
             return error;
         }},
    };
    return endpoints;
}

class ReplyCapTest : public ::testing::Test {
protected:
    // Loopback requests never go through a proxy of the environment.
    void SetUp() override { setenv("no_proxy", "127.0.0.1", 1); }

    test::TempDir folder;
    CurlHttpClient http;
};

TEST_F(ReplyCapTest, EveryRequestEndsAnEndlessReplyAtItsCapWithBoundedMemory) {
    // Far beyond the installer's cap: only a client without one reads it all.
    const std::size_t endless = kMaxInstallerBytes + 64 * kMiB;
    for (const Framing framing : {Framing::Chunked, Framing::UntilClose}) {
        FloodServer server({framing, endless});
        ServiceClient service(server.BaseUrl(), http);
        for (const Endpoint& endpoint : Endpoints()) {
            SCOPED_TRACE(std::string(endpoint.name) +
                         (framing == Framing::Chunked ? " chunked" : " until close"));
            const long before = PeakRssKb();
            const auto start = std::chrono::steady_clock::now();
            const std::string error = endpoint.call(service, folder.Path());
            const auto took = std::chrono::steady_clock::now() - start;
            const long grewKb = PeakRssKb() - before;

            EXPECT_TRUE(SaysTooLarge(error, endpoint.cap)) << error;
            // Well before the 60-second time-out, however slow the build.
            EXPECT_LT(took, 20s);
            // The server saw the client hang up at the cap, not at its end.
            EXPECT_LT(server.LastSent(), endless);
            // Memory: the cap of a body held in memory and a generous margin.
            EXPECT_LT(static_cast<std::size_t>(grewKb) * 1024, kMaxReplyBytes + 64 * kMiB)
                << "the process grew by " << grewKb / 1024 << " MiB";
        }
    }
}

TEST_F(ReplyCapTest, AnAnnouncedLengthOverTheCapFailsBeforeTheBody) {
    // The server announces one byte too many and sends nothing: only the
    // announced length can end the request before the 60-second time-out.
    for (const Endpoint& endpoint : Endpoints()) {
        SCOPED_TRACE(endpoint.name);
        FloodServer server({Framing::Length, 0, endpoint.cap + 1});
        ServiceClient service(server.BaseUrl(), http);
        const auto start = std::chrono::steady_clock::now();
        const std::string error = endpoint.call(service, folder.Path());
        EXPECT_TRUE(SaysTooLarge(error, endpoint.cap)) << error;
        EXPECT_LT(std::chrono::steady_clock::now() - start, 20s);
    }
}

TEST_F(ReplyCapTest, ABodyOfExactlyTheCapArrivesWhole) {
    struct Case {
        Framing framing;
        std::size_t bytes;
        bool whole;
    };
    const std::vector<Case> cases = {
        {Framing::Chunked, kMaxReplyBytes, true},
        {Framing::Chunked, kMaxReplyBytes + 1, false},
        {Framing::UntilClose, kMaxReplyBytes, true},
        {Framing::UntilClose, kMaxReplyBytes + 1, false},
        {Framing::Length, kMaxReplyBytes, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(static_cast<int>(c.framing)) + " " + std::to_string(c.bytes));
        FloodServer server({c.framing, c.bytes, c.bytes});
        const HttpReply fetched = http.Fetch(server.BaseUrl() + "getlost.php");
        const HttpReply posted =
            http.Post(server.BaseUrl() + "upscan.php", Bytes{'s', '|'}, "Content-Type: text/plain");
        for (const HttpReply* reply : {&fetched, &posted}) {
            EXPECT_EQ(reply->Succeeded(), c.whole) << reply->transportError;
            EXPECT_EQ(reply->body.size(), c.whole ? c.bytes : 0);
            EXPECT_EQ(SaysTooLarge(reply->transportError, kMaxReplyBytes), !c.whole);
        }
    }
}

} // namespace
} // namespace tallybird
