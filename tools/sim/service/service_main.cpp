// tallybird-sim service: the Tallybird online service on 127.0.0.1, for the
// tests, the demo and the benchmarks.

#include "service/service_state.h"
#include "sim_commands.h"

#include "sim_codecs.h"

#include <httplib.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <ctime>
#include <iostream>
#include <mutex>
#include <pthread.h>
#include <string>
#include <thread>

namespace tallybird::sim {
namespace {

constexpr int kDefaultPort = 8642;

// The largest request body taken: far above an upload of a full scan log
// (3,100 chips of up to 16 digits, about 53 KB) and a state holding a full
// list (250,001 chips, about 12 MB of JSON).
constexpr std::size_t kMaxBodyBytes = std::size_t{64} << 20;

constexpr const char* kHelp =
    R"(usage: tallybird-sim service [--port N] [--state FILE] [--record FILE]

The Tallybird online service on 127.0.0.1. Endpoints under /alpha/:
  scanreg.php            registration; every query parameter is recorded
  upscan.php             upload (POST); body and headers are recorded
  getlost.php?d=&c=&v=   changes of country c after time d as 8-byte records;
                         d=0, or d before the country's log starts, gives the
                         whole current list as additions (operation 1)
  getscannertime.php     the service time in decimal seconds
  getorganisations.php?c=  the country's organisation fields, each
                         URL-encoded, joined by "|"
  softwareversion.php    the version text
and /download/setup<version>.run, the installer of the current version.

Options:
  --port N       listen on port N (default 8642); 0 picks a free port. The
                 first line on stdout is "listening on 127.0.0.1:PORT".
  --state FILE   load the state from FILE (JSON); it is written back when the
                 set-up changes (control endpoints) and, with what was
                 received, when the simulator stops. A missing FILE is created.
  --record FILE  write what was received (requests, registrations, uploads)
                 as JSON to FILE after every change.
  --help         this text.

State file (every key optional):
  {
    "time": 1700000000,          // fixed service time; absent or null: real clock
    "version": "2.6",            // reply of softwareversion.php, sent as it is
    "installer": "#!/bin/sh\n",  // body of /download/setup<version>.run
    "countries": {
      "1": {
        "lost": [{"chip": "826000000000001", "attribute": 0}],   // current list
        "log":  [{"time": 1700000100, "operation": 102,         // 1/2 add,
                  "chip": "826000000000001", "attribute": 0}],  // 100/102 remove
        "logStart": 1700000000,  // the log is complete after this time
                                 // (default: its earliest entry)
        "organisations": ["Vets North", "01632 960001"]  // name, number, ...
      }
    },
    "faults": {                  // per endpoint name, or "download"
      "getlost.php": {"mode": "html", "delay": 0, "hex": ""}
    },
    "requests": [], "registrations": [], "uploads": []   // what was received
  }
A chip is its 15-digit text: the country code (0..1019) and a 12-digit
national number (below 2^38).

Fault modes: none; html (an HTML error page, status 200); 500 (status 500);
slow (the normal reply after "delay" seconds; a delay holds back any mode);
truncated (the connection closes after half of the announced body);
partial (4 bytes after the normal body, so a record list is not a multiple
of 8); raw (status 200, the bytes of "hex" as the body); endless (status
200, a chunked body of the normal reply repeated without end, stopped only
after 64 MiB).

Control endpoints:
  GET  /sim/state        the whole state with what was received, as JSON
  POST /sim/state        replace the whole state with the JSON body
  POST /sim/fault?endpoint=NAME&mode=MODE[&delay=SECONDS][&hex=BYTES]
)";

struct Options {
    int port = kDefaultPort;
    std::string stateFile;
    std::string recordFile;
};

// What one endpoint answers when nothing goes wrong.
struct NormalReply {
    int status = 200;
    std::string body;
    std::string contentType = "text/html";
};

std::string Text(ByteView bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// The query of a request target as it came, split at "&" in order.
std::vector<std::pair<std::string, std::string>> RawQuery(const std::string& target) {
    std::vector<std::pair<std::string, std::string>> params;
    const std::size_t question = target.find('?');
    if (question == std::string::npos) {
        return params;
    }
    const std::string query = target.substr(question + 1);
    std::size_t start = 0;
    while (start <= query.size()) {
        std::size_t end = query.find('&', start);
        if (end == std::string::npos) {
            end = query.size();
        }
        const std::string item = query.substr(start, end - start);
        const std::size_t equals = item.find('=');
        if (!item.empty()) {
            params.emplace_back(item.substr(0, equals),
                                equals == std::string::npos ? "" : item.substr(equals + 1));
        }
        start = end + 1;
    }
    return params;
}

std::string RawParam(const std::string& target, const std::string& name) {
    for (const auto& [key, value] : RawQuery(target)) {
        if (key == name) {
            return value;
        }
    }
    return {};
}

QString Decoded(const std::string& raw) {
    return QString::fromStdString(Utf8FromWindows1252(QueryValueBytes(raw)));
}

// The body of a POST, read by the handler itself: cpp-httplib's own reading
// turns away a form body over 8 KB (an upload of about 500 chips). Nothing
// when the body did not arrive (status 400) or is over kMaxBodyBytes (413;
// the server checks an announced length, this a chunked body).
std::optional<std::string> ReadBody(const httplib::ContentReader& reader, httplib::Response& res) {
    std::string body;
    bool tooLarge = false;
    const bool whole = reader([&](const char* data, std::size_t length) {
        tooLarge = length > kMaxBodyBytes - body.size();
        if (!tooLarge) {
            body.append(data, length);
        }
        return !tooLarge;
    });
    if (!whole || tooLarge) {
        res.status = tooLarge || res.status == 413 ? 413 : 400;
        return std::nullopt;
    }
    return body;
}

class Simulator {
public:
    Simulator(ServiceState state, Options options)
        : state_(std::move(state)), options_(std::move(options)) {}

    void Install(httplib::Server& server) {
        server.set_payload_max_length(kMaxBodyBytes);
        server.Get(R"(/alpha/([^/]*))",
                   [this](const httplib::Request& req, httplib::Response& res) {
                       Serve(req.matches[1].str(), req, {}, res);
                   });
        server.Post(R"(/alpha/([^/]*))", [this](const httplib::Request& req, httplib::Response& res,
                                                const httplib::ContentReader& reader) {
            if (const std::optional<std::string> body = ReadBody(reader, res)) {
                Serve(req.matches[1].str(), req, *body, res);
            }
        });
        server.Get(R"(/download/(setup[^/]*\.run))",
                   [this](const auto& req, auto& res) { Serve("download", req, {}, res); });
        server.Get("/sim/state", [this](const httplib::Request&, httplib::Response& res) {
            std::lock_guard lock(mutex_);
            res.set_content(StateToJson(state_).toStdString(), "application/json");
        });
        server.Post("/sim/state", [this](const httplib::Request&, httplib::Response& res,
                                         const httplib::ContentReader& reader) {
            const std::optional<std::string> body = ReadBody(reader, res);
            ServiceState replacement;
            std::string error;
            if (!body) {
                return;
            }
            if (!ParseState(QByteArray::fromStdString(*body), replacement, error)) {
                res.status = 400;
                res.set_content(error + "\n", "text/plain");
                return;
            }
            std::lock_guard lock(mutex_);
            state_ = std::move(replacement);
            SaveLocked();
            res.set_content("ok\n", "text/plain");
        });
        server.Post("/sim/fault", [this](const httplib::Request& req, httplib::Response& res) {
            SetFault(req, res);
        });
    }

    // Wakes every reply that is held back, so the server can stop at once.
    void Stop() {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        wake_.notify_all();
    }

    bool Save() {
        std::lock_guard lock(mutex_);
        return SaveLocked();
    }

private:
    // The state file gets the set-up when it changes and everything at the
    // end; the record file follows every request. A list of many chips is
    // not rewritten for each request that way.
    bool SaveLocked() {
        bool ok = true;
        if (!options_.stateFile.empty()) {
            ok = WriteWhole(options_.stateFile, StateToJson(state_));
        }
        return SaveRecordsLocked() && ok;
    }

    bool SaveRecordsLocked() {
        if (options_.recordFile.empty()) {
            return true;
        }
        return WriteWhole(options_.recordFile, RecordsToJson(state_));
    }

    static bool WriteWhole(const std::string& file, const QByteArray& contents) {
        QSaveFile out(QString::fromStdString(file));
        if (!out.open(QIODevice::WriteOnly)) {
            return false;
        }
        out.write(contents);
        return out.commit();
    }

    double ServiceTimeLocked() const {
        return state_.time ? *state_.time : static_cast<double>(std::time(nullptr));
    }

    // Records the request and works out the normal reply, under the lock.
    std::optional<NormalReply> Answer(const std::string& name, const httplib::Request& req,
                                      const std::string& body) {
        state_.requests.append(QJsonObject{{"method", QString::fromStdString(req.method)},
                                           {"target", QString::fromStdString(req.target)}});
        NormalReply reply;
        if (name == "scanreg.php") {
            QJsonArray params;
            for (const auto& [key, raw] : RawQuery(req.target)) {
                params.append(QJsonObject{{"name", QString::fromStdString(key)},
                                          {"raw", QString::fromStdString(raw)},
                                          {"value", Decoded(raw)}});
            }
            state_.registrations.append(
                QJsonObject{{"target", QString::fromStdString(req.target)}, {"params", params}});
            reply.body = "OK";
        } else if (name == "upscan.php" && req.method == "POST") {
            QJsonObject headers;
            for (const auto& [key, value] : req.headers) {
                if (key != "REMOTE_ADDR" && key != "REMOTE_PORT" && key != "LOCAL_ADDR" &&
                    key != "LOCAL_PORT") {
                    headers[QString::fromStdString(key)] = QString::fromStdString(value);
                }
            }
            const Bytes bytes(body.begin(), body.end());
            state_.uploads.append(
                QJsonObject{{"body", QString::fromStdString(Utf8FromWindows1252(bytes))},
                            {"headers", headers}});
            reply.body = "OK";
        } else if (name == "getlost.php") {
            const int country = static_cast<int>(NumberIn(RawParam(req.target, "c")));
            const double since = NumberIn(RawParam(req.target, "d"));
            const auto found = state_.countries.find(country);
            if (found != state_.countries.end()) {
                reply.body = Text(LostListBody(found->second, since));
            }
            reply.contentType = "application/octet-stream";
        } else if (name == "getscannertime.php") {
            reply.body = NumberText(ServiceTimeLocked());
        } else if (name == "getorganisations.php") {
            const int country = static_cast<int>(NumberIn(RawParam(req.target, "c")));
            const auto found = state_.countries.find(country);
            if (found != state_.countries.end()) {
                reply.body = OrganisationsBody(found->second);
            }
        } else if (name == "softwareversion.php") {
            reply.body = state_.version;
        } else if (name == "download") {
            const std::optional<std::string> plain = PlainVersionOf(state_.version);
            if (!plain || req.matches[1].str() != "setup" + *plain + ".run") {
                return std::nullopt;
            }
            reply.body = state_.installer;
            reply.contentType = "application/octet-stream";
        } else {
            return std::nullopt;
        }
        SaveRecordsLocked();
        return reply;
    }

    void Serve(const std::string& name, const httplib::Request& req, const std::string& body,
               httplib::Response& res) {
        std::optional<NormalReply> normal;
        Fault fault;
        {
            std::lock_guard lock(mutex_);
            normal = Answer(name, req, body);
            const auto found = state_.faults.find(name);
            if (found != state_.faults.end()) {
                fault = found->second;
            }
        }
        if (!normal) {
            std::lock_guard lock(mutex_);
            SaveRecordsLocked();
            res.status = 404;
            res.set_content("not found\n", "text/plain");
            return;
        }
        if (fault.delay > 0) {
            std::unique_lock lock(mutex_);
            wake_.wait_for(lock, std::chrono::duration<double>(fault.delay),
                           [this] { return stopping_; });
        }
        Reply(*normal, fault, res);
    }

    static void Reply(const NormalReply& normal, const Fault& fault, httplib::Response& res) {
        if (fault.mode == "html") {
            res.set_content("<HTML><HEAD><TITLE>Service Unavailable</TITLE></HEAD><BODY>"
                            "<H1>Service Unavailable</H1></BODY></HTML>\n",
                            "text/html");
        } else if (fault.mode == "500") {
            res.status = 500;
            res.set_content("<html><body>Internal Server Error</body></html>\n", "text/html");
        } else if (fault.mode == "raw") {
            res.set_content(Text(fault.raw), "application/octet-stream");
        } else if (fault.mode == "partial") {
            res.set_content(normal.body + std::string(4, '\0'), normal.contentType);
        } else if (fault.mode == "endless") {
            constexpr std::size_t kEnough = std::size_t{64} << 20;
            std::string block = normal.body.empty() ? std::string("0") : normal.body;
            while (block.size() < 4096) {
                block += block;
            }
            res.set_chunked_content_provider(normal.contentType,
                                             [block](std::size_t offset, httplib::DataSink& sink) {
                                                 if (offset >= kEnough) {
                                                     sink.done();
                                                     return true;
                                                 }
                                                 return sink.write(block.data(), block.size());
                                             });
        } else if (fault.mode == "truncated") {
            // Announces the whole body, sends half of it, then drops the line.
            const std::string sent = normal.body.substr(0, normal.body.size() / 2);
            const std::size_t announced = std::max(normal.body.size(), sent.size() + 1);
            res.set_content_provider(
                announced, normal.contentType,
                [sent](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                    if (offset == 0 && !sent.empty()) {
                        sink.write(sent.data(), sent.size());
                        return true;
                    }
                    return false;
                });
        } else {
            res.status = normal.status;
            res.set_content(normal.body, normal.contentType);
        }
    }

    void SetFault(const httplib::Request& req, httplib::Response& res) {
        const std::string endpoint = req.get_param_value("endpoint");
        ServiceState probe;
        std::string error;
        QJsonObject fault{{"mode", QString::fromStdString(req.get_param_value("mode"))},
                          {"delay", NumberIn(req.get_param_value("delay"))},
                          {"hex", QString::fromStdString(req.get_param_value("hex"))}};
        const QJsonObject faults{{QString::fromStdString(endpoint), fault}};
        const QByteArray json = QJsonDocument(QJsonObject{{"faults", faults}}).toJson();
        if (endpoint.empty() || !ParseState(json, probe, error)) {
            res.status = 400;
            res.set_content((endpoint.empty() ? "no endpoint" : error) + "\n", "text/plain");
            return;
        }
        std::lock_guard lock(mutex_);
        state_.faults[endpoint] = probe.faults[endpoint];
        SaveLocked();
        res.set_content("ok\n", "text/plain");
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    ServiceState state_;
    Options options_;
};

// 0: options read; 1: help shown; -1: usage error.
int ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help") {
            std::cout << kHelp;
            return 1;
        }
        if (arg == "--port" && hasValue) {
            const std::optional<double> port = WholeNumberIn(argv[++i]);
            if (!port || *port < 0 || *port > 65535) {
                std::cerr << "tallybird-sim service: bad port \"" << argv[i] << "\"\n";
                return -1;
            }
            options.port = static_cast<int>(*port);
        } else if (arg == "--state" && hasValue) {
            options.stateFile = argv[++i];
        } else if (arg == "--record" && hasValue) {
            options.recordFile = argv[++i];
        } else {
            std::cerr << "tallybird-sim service: unknown option \"" << arg << "\"\n"
                      << "usage: tallybird-sim service [--port N] [--state FILE] [--record FILE]\n";
            return -1;
        }
    }
    return 0;
}

} // namespace

int RunServiceSimulator(int argc, char** argv) {
    Options options;
    const int parsed = ParseOptions(argc, argv, options);
    if (parsed != 0) {
        return parsed > 0 ? 0 : 64;
    }

    ServiceState state;
    if (!options.stateFile.empty()) {
        QFile file(QString::fromStdString(options.stateFile));
        if (file.exists()) {
            std::string error;
            if (!file.open(QIODevice::ReadOnly) || !ParseState(file.readAll(), state, error)) {
                std::cerr << "tallybird-sim service: " << options.stateFile << ": "
                          << (error.empty() ? "cannot read" : error) << "\n";
                return 1;
            }
        }
    }

    // SIGINT and SIGTERM are taken by one thread of their own; every other
    // thread (the server's workers too) keeps them blocked.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    Simulator simulator(std::move(state), options);
    httplib::Server server;
    simulator.Install(server);

    int port = options.port;
    if (port == 0) {
        port = server.bind_to_any_port("127.0.0.1");
    } else if (!server.bind_to_port("127.0.0.1", port)) {
        port = -1;
    }
    if (port <= 0) {
        std::cerr << "tallybird-sim service: cannot listen on 127.0.0.1:" << options.port << "\n";
        return 1;
    }
    if (!simulator.Save()) {
        std::cerr << "tallybird-sim service: cannot write the state or record file\n";
        return 1;
    }
    std::cout << "listening on 127.0.0.1:" << port << std::endl;

    std::thread signalWaiter([&] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        simulator.Stop();
        server.stop();
    });
    const bool served = server.listen_after_bind();
    // Ends the waiter when the server stopped by itself.
    simulator.Stop();
    server.stop();
    kill(getpid(), SIGTERM);
    signalWaiter.join();
    const bool saved = simulator.Save();
    return served && saved ? 0 : 1;
}

} // namespace tallybird::sim
