// Serial ports are QObjects: the tests run with an application object on
// their main thread (no event loop runs; the port waits by itself).
#include <QCoreApplication>

#include <gtest/gtest.h>

#include <memory>

namespace {

class QtApplication : public ::testing::Environment {
public:
    void SetUp() override { app_ = std::make_unique<QCoreApplication>(argc_, argv_); }
    void TearDown() override { app_.reset(); }

private:
    int argc_ = 1;
    char name_[16] = "tallybird-test";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QCoreApplication> app_;
};

[[maybe_unused]] const auto* const kQtApplication =
    ::testing::AddGlobalTestEnvironment(new QtApplication);

} // namespace
