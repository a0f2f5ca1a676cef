#include "support/service_sim.h"

#include "support/test_support.h"
#include "web/http_client.h"

#include <QJsonDocument>

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tallybird::test {
namespace {

// The first line the simulator prints: "listening on 127.0.0.1:PORT".
std::string ReadFirstLine(int fd, std::chrono::milliseconds limit) {
    std::string line;
    const auto end = std::chrono::steady_clock::now() + limit;
    while (line.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) {
            break;
        }
        char buffer[256];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        line.append(buffer, static_cast<std::size_t>(n));
    }
    return line;
}

} // namespace

ServiceSim::ServiceSim(const std::filesystem::path& folder, const std::string& stateJson) {
    const std::filesystem::path stateFile = folder / "service-state.json";
    WriteTextFile(stateFile, stateJson);

    int out[2];
    if (pipe(out) != 0) {
        throw std::runtime_error("pipe");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::string program = TALLYBIRD_SIM_PATH;
    std::string service = "service", portOption = "--port", port = "0", stateOption = "--state";
    std::string state = stateFile.string();
    char* argv[] = {program.data(), service.data(),     portOption.data(),
                    port.data(),    stateOption.data(), state.data(),
                    nullptr};
    const int spawned = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (spawned != 0) {
        close(out[0]);
        throw std::runtime_error("cannot start " + program);
    }
    const std::string line = ReadFirstLine(out[0], Scaled(std::chrono::milliseconds(10'000)));
    close(out[0]);
    const std::string prefix = "listening on 127.0.0.1:";
    if (line.rfind(prefix, 0) != 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        throw std::runtime_error("the service simulator did not start: " + line);
    }
    port_ = std::stoi(line.substr(prefix.size()));
}

ServiceSim::~ServiceSim() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
}

std::string ServiceSim::Host() const {
    return "http://127.0.0.1:" + std::to_string(port_);
}

QJsonObject ServiceSim::State() const {
    CurlHttpClient http;
    const HttpReply reply = http.Fetch(Host() + "/sim/state");
    const QByteArray json(reinterpret_cast<const char*>(reply.body.data()),
                          static_cast<qsizetype>(reply.body.size()));
    return QJsonDocument::fromJson(json).object();
}

bool ServiceSim::SetState(const QJsonObject& state) const {
    CurlHttpClient http;
    const QByteArray json = QJsonDocument(state).toJson(QJsonDocument::Compact);
    const HttpReply reply = http.Post(Host() + "/sim/state",
                                      ByteView(reinterpret_cast<const std::uint8_t*>(json.data()),
                                               static_cast<std::size_t>(json.size())),
                                      "Content-Type: application/json");
    return reply.Succeeded();
}

bool ServiceSim::SetFault(const std::string& endpoint, const std::string& mode, double delay,
                          const std::string& hex) const {
    CurlHttpClient http;
    const HttpReply reply = http.Post(Host() + "/sim/fault?endpoint=" + endpoint + "&mode=" + mode +
                                          "&delay=" + std::to_string(delay) + "&hex=" + hex,
                                      {}, "Content-Type: text/plain");
    return reply.Succeeded();
}

RefusingPort::RefusingPort() {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("cannot reserve a port");
    }
    // Bound but never listening: a connection to it is refused.
    port_ = ntohs(address.sin_port);
}

RefusingPort::~RefusingPort() {
    if (fd_ >= 0) {
        close(fd_);
    }
}

} // namespace tallybird::test
