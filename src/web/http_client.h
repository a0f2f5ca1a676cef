#pragma once

#include "base/bytes.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace tallybird {

// What came back from one HTTP exchange. A reply whose status is not 2xx
// carries no body: the program reads it as an empty reply.
struct HttpReply {
    // Non-empty when no complete reply arrived (refused connection, time-out,
    // connection cut mid-reply, malformed address, a body over its cap): the
    // reason in words.
    std::string transportError;
    int status = 0; // the HTTP status; 0 when no reply arrived
    Bytes body;     // the whole body of a 2xx reply, otherwise empty

    bool TransportFailed() const { return !transportError.empty(); }
    // The body as text: every byte is a Windows-1252 character.
    std::string Text() const;
    bool Succeeded() const { return !TransportFailed() && status >= 200 && status <= 299; }
};

// Every reply body is capped, so a broken or hostile service that never stops
// sending cannot fill the memory or the disk. The largest reply the service
// sends is a whole missing-animal list, 250,001 records of 8 bytes (2 MB);
// the installer, a whole program, gets far more room. A longer body is a
// transport error.
inline constexpr std::size_t kMaxReplyBytes = std::size_t{8} << 20;       // 8 MiB
inline constexpr std::size_t kMaxInstallerBytes = std::size_t{256} << 20; // 256 MiB

// A hung service never hangs the program: a connection that is not made
// within `connect`, or a request that has not ended within `request`
// (`download` for the installer), is abandoned and reported as a transport
// error.
struct HttpTimeouts {
    std::chrono::milliseconds connect{10'000};
    std::chrono::milliseconds request{60'000};
    std::chrono::milliseconds download{600'000};
};

// How far a download is: bytes received, and the whole size when the reply
// announced it (0 otherwise). Called on the downloading thread; returning
// false abandons the download (a transport error, nothing left behind).
using DownloadProgress = std::function<bool(std::uint64_t received, std::uint64_t total)>;

// The operations the program needs from an HTTP client. Every call blocks
// until the exchange has ended; calls on different threads are independent.
class HttpClient {
public:
    HttpClient() = default;
    virtual ~HttpClient() = default;
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    // GET the address; the body as bytes, first byte at index 0. A body over
    // kMaxReplyBytes is a transport error (so for Post too).
    virtual HttpReply Fetch(const std::string& url) = 0;

    // POST `body` as it is with one extra header line ("Name: value").
    virtual HttpReply Post(const std::string& url, ByteView body, std::string_view headerLine) = 0;

    // GET the address into `file`. The file appears only when a complete 2xx
    // reply arrived; otherwise nothing is left behind. The reply's body is
    // not kept in memory; one over kMaxInstallerBytes is a transport error.
    // `progress`, when given, hears how far the download is.
    virtual HttpReply DownloadToFile(const std::string& url, const std::filesystem::path& file,
                                     const DownloadProgress& progress) = 0;
    HttpReply DownloadToFile(const std::string& url, const std::filesystem::path& file) {
        return DownloadToFile(url, file, {});
    }
};

// The client over libcurl, one easy handle per request. Only http and https
// addresses are followed; redirects only for the installer download.
class CurlHttpClient final : public HttpClient {
public:
    explicit CurlHttpClient(HttpTimeouts timeouts = {});

    HttpReply Fetch(const std::string& url) override;
    HttpReply Post(const std::string& url, ByteView body, std::string_view headerLine) override;
    using HttpClient::DownloadToFile;
    HttpReply DownloadToFile(const std::string& url, const std::filesystem::path& file,
                             const DownloadProgress& progress) override;

private:
    HttpTimeouts timeouts_;
};

} // namespace tallybird
