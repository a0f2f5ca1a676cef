#include "web/http_client.h"

#include "base/single_byte_text.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>

namespace tallybird {
namespace {

// libcurl's global set-up runs once for the whole process, whichever thread
// makes the first request. It is never undone: requests may run until exit.
void InitCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct EasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct ListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;
using HeaderList = std::unique_ptr<curl_slist, ListDeleter>;

// What a body over its cap reports: "the reply was too large (more than 8 MiB)".
std::string TooLargeText(std::size_t limit) {
    return "the reply was too large (more than " + std::to_string(limit >> 20) + " MiB)";
}

// Where the body of a reply goes: memory or an open file, never more than
// `limit` bytes of it.
struct BodySink {
    Bytes* bytes = nullptr;
    std::FILE* file = nullptr;
    std::size_t limit = 0;
    std::size_t received = 0;
    bool tooLarge = false;

    // Takes one piece; false stops the transfer (over the cap, or a failed write).
    bool Take(const char* data, std::size_t length) {
        if (length > limit - received) {
            tooLarge = true;
            return false;
        }
        received += length;
        if (file != nullptr) {
            return std::fwrite(data, 1, length, file) == length;
        }
        bytes->insert(bytes->end(), data, data + length);
        return true;
    }
};

// libcurl's write callback: a count other than the one offered ends the
// transfer with an error at once.
std::size_t TakeBody(char* data, std::size_t size, std::size_t count, void* sink) {
    const std::size_t length = size * count;
    return static_cast<BodySink*>(sink)->Take(data, length) ? length : 0;
}

// One request: the options every request shares, then the transfer.
class Exchange {
public:
    Exchange(const std::string& url, std::chrono::milliseconds connect,
             std::chrono::milliseconds whole, BodySink sink)
        : handle_(curl_easy_init()), sink_(sink) {
        if (!handle_) {
            return;
        }
        errorText_[0] = '\0';
        CURL* h = handle_.get();
        curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorText_);
        curl_easy_setopt(h, CURLOPT_URL, url.c_str());
        curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        // Time-outs on a worker thread must not rely on SIGALRM.
        curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(connect.count()));
        curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(whole.count()));
        curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &TakeBody);
        curl_easy_setopt(h, CURLOPT_WRITEDATA, &sink_);
        // A reply that announces a longer body fails before any of it is read.
        curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(sink_.limit));
    }

    Exchange(const Exchange&) = delete;
    Exchange& operator=(const Exchange&) = delete;

    CURL* Handle() const { return handle_.get(); }

    // Runs the transfer; the body has gone to the sink.
    HttpReply Perform() {
        HttpReply reply;
        if (!handle_) {
            reply.transportError = "cannot create an HTTP request";
            return reply;
        }
        const CURLcode code = curl_easy_perform(handle_.get());
        if (sink_.tooLarge || code == CURLE_FILESIZE_EXCEEDED) {
            reply.transportError = TooLargeText(sink_.limit);
            return reply;
        }
        if (code != CURLE_OK) {
            reply.transportError = errorText_[0] != '\0' ? errorText_ : curl_easy_strerror(code);
            return reply;
        }
        long status = 0;
        curl_easy_getinfo(handle_.get(), CURLINFO_RESPONSE_CODE, &status);
        reply.status = static_cast<int>(status);
        return reply;
    }

private:
    EasyHandle handle_;
    BodySink sink_;
    char errorText_[CURL_ERROR_SIZE];
};

// Bodies of replies that are not 2xx are dropped: they read as empty.
HttpReply WithBody(HttpReply reply, Bytes&& body) {
    if (reply.Succeeded()) {
        reply.body = std::move(body);
    }
    return reply;
}

// A new, empty file of our own for writing: whatever stood at `path` before
// (an old partial download, a link, a pipe) is removed, never written
// through or waited on.
std::FILE* CreateFreshFile(const std::filesystem::path& path) {
    std::error_code ec;
    std::filesystem::remove(path, ec);
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        return nullptr;
    }
    std::FILE* out = fdopen(fd, "wb");
    if (out == nullptr) {
        close(fd);
    }
    return out;
}

// libcurl's progress callback for a download: non-zero abandons it.
int ReportProgress(void* listener, curl_off_t total, curl_off_t received, curl_off_t, curl_off_t) {
    const auto& progress = *static_cast<const DownloadProgress*>(listener);
    const bool goOn = progress(static_cast<std::uint64_t>(received > 0 ? received : 0),
                               static_cast<std::uint64_t>(total > 0 ? total : 0));
    return goOn ? 0 : 1;
}

} // namespace

std::string HttpReply::Text() const {
    return FromSingleByte(body);
}

CurlHttpClient::CurlHttpClient(HttpTimeouts timeouts) : timeouts_(timeouts) {
    InitCurlOnce();
}

HttpReply CurlHttpClient::Fetch(const std::string& url) {
    Bytes body;
    Exchange exchange(url, timeouts_.connect, timeouts_.request, {&body, nullptr, kMaxReplyBytes});
    return WithBody(exchange.Perform(), std::move(body));
}

HttpReply CurlHttpClient::Post(const std::string& url, ByteView body, std::string_view headerLine) {
    Bytes replyBody;
    Exchange exchange(url, timeouts_.connect, timeouts_.request,
                      {&replyBody, nullptr, kMaxReplyBytes});
    HeaderList headers;
    if (exchange.Handle() != nullptr) {
        CURL* h = exchange.Handle();
        const std::string header(headerLine);
        curl_slist* list = curl_slist_append(nullptr, header.c_str());
        // No "Expect: 100-continue" round trip: the body goes out at once.
        curl_slist* withExpect = list != nullptr ? curl_slist_append(list, "Expect:") : nullptr;
        headers.reset(withExpect != nullptr ? withExpect : list);
        curl_easy_setopt(h, CURLOPT_POST, 1L);
        curl_easy_setopt(h, CURLOPT_POSTFIELDS, body.data());
        curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
        curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
    }
    return WithBody(exchange.Perform(), std::move(replyBody));
}

HttpReply CurlHttpClient::DownloadToFile(const std::string& url, const std::filesystem::path& file,
                                         const DownloadProgress& progress) {
    // The body goes to a file beside the target and takes its name only when
    // the whole reply arrived, so a failed download leaves nothing behind.
    std::filesystem::path partial = file;
    partial += ".part";
    std::FILE* out = CreateFreshFile(partial);
    if (out == nullptr) {
        HttpReply reply;
        reply.transportError = "cannot write " + partial.string();
        return reply;
    }
    Exchange exchange(url, timeouts_.connect, timeouts_.download,
                      {nullptr, out, kMaxInstallerBytes});
    if (exchange.Handle() != nullptr) {
        curl_easy_setopt(exchange.Handle(), CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(exchange.Handle(), CURLOPT_MAXREDIRS, 5L);
        if (progress) {
            curl_easy_setopt(exchange.Handle(), CURLOPT_XFERINFOFUNCTION, &ReportProgress);
            curl_easy_setopt(exchange.Handle(), CURLOPT_XFERINFODATA, &progress);
            curl_easy_setopt(exchange.Handle(), CURLOPT_NOPROGRESS, 0L);
        }
    }
    HttpReply reply = exchange.Perform();
    const bool closed = std::fclose(out) == 0;
    std::error_code ec;
    if (reply.Succeeded() && !closed) {
        reply.transportError = "cannot write " + partial.string();
    }
    if (reply.Succeeded()) {
        std::filesystem::rename(partial, file, ec);
        if (ec) {
            reply.transportError = "cannot write " + file.string() + ": " + ec.message();
        }
    }
    if (!reply.Succeeded()) {
        std::filesystem::remove(partial, ec);
    }
    return reply;
}

} // namespace tallybird
