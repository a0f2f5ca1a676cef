#pragma once

#include "base/bytes.h"

#include <QJsonObject>

#include <filesystem>
#include <string>
#include <sys/types.h>

namespace tallybird::test {

// A `tallybird-sim service` process on a free port of 127.0.0.1, started from
// a state file and stopped (SIGTERM) when the object goes.
class ServiceSim {
public:
    ServiceSim(const std::filesystem::path& folder, const std::string& stateJson);
    ~ServiceSim();
    ServiceSim(const ServiceSim&) = delete;
    ServiceSim& operator=(const ServiceSim&) = delete;

    int Port() const { return port_; }
    std::string Host() const; // http://127.0.0.1:PORT
    std::string BaseUrl() const { return Host() + "/alpha/"; }

    // Everything the simulator holds and received, from GET /sim/state.
    QJsonObject State() const;

    // POST /sim/state: replaces the whole set-up (recorded traffic included).
    bool SetState(const QJsonObject& state) const;

    // POST /sim/fault; false when the simulator refused it.
    bool SetFault(const std::string& endpoint, const std::string& mode, double delay = 0,
                  const std::string& hex = {}) const;

private:
    pid_t pid_ = -1;
    int port_ = 0;
};

// A port on 127.0.0.1 on which nothing listens, held for the object's life.
class RefusingPort {
public:
    RefusingPort();
    ~RefusingPort();
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;
    int Port() const { return port_; }

private:
    int fd_ = -1;
    int port_ = 0;
};

} // namespace tallybird::test
