#pragma once

#include "support/scanner_sim.h"
#include "support/service_sim.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace tallybird::test {

// tallybird-cli against the simulated service holding `state`, in folders of
// the test's own; port 7 is the simulated scanner started in dir / "scanner".
class CliAgainstService : public testing::Test {
protected:
    explicit CliAgainstService(const char* state) : service{dir.Path(), state} {}

    void SetUp() override {
        WriteCliSettings(config, "ServerBaseUrl=" + service.BaseUrl() + "\n",
                         "7=" + (dir / "scanner" / "kivo").string() + "\n");
        std::filesystem::create_directories(dir / "scanner");
    }

    TempDir dir;
    ServiceSim service;
    std::filesystem::path config = dir / "config";
};

} // namespace tallybird::test
