// Window tests run with a widget application object on their main thread,
// on the offscreen platform (the test presets set QT_QPA_PLATFORM).
#include <QApplication>

#include <gtest/gtest.h>

#include <memory>

namespace {

class GuiApplication : public ::testing::Environment {
public:
    void SetUp() override {
        app_ = std::make_unique<QApplication>(argc_, argv_);
        QApplication::setQuitOnLastWindowClosed(false);
    }
    void TearDown() override { app_.reset(); }

private:
    int argc_ = 1;
    char name_[16] = "tallybird-test";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] const auto* const kGuiApplication =
    ::testing::AddGlobalTestEnvironment(new GuiApplication);

} // namespace
