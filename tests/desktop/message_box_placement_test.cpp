// Where the real boxes open on a real X display: over the page or window
// they belong to, whatever window the program's boxes fall back to.
#include "desktop/main_window.h"
#include "desktop/message_box_dialog.h"
#include "desktop/registration_page.h"
#include "support/test_support.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

#include "xvfb_display.h" // after Qt: Xlib defines short macro names

namespace tallybird::test {
namespace {

// Runs `open`, which shows a modal box, and returns where the box stood
// (then closes it); nothing when no box came.
std::optional<QRect> BoxGeometryWhile(const std::function<void()>& open) {
    std::optional<QRect> seen;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible() || seen) {
            return;
        }
        (void)QTest::qWaitForWindowExposed(box);
        seen = box->frameGeometry();
        box->button(box->standardButtons() & QMessageBox::Yes ? QMessageBox::Yes : QMessageBox::Ok)
            ->click();
    });
    poll.start();
    open();
    poll.stop();
    return seen;
}

// Qt places a box so that its frame, title bar included, is centred; with
// no window manager on the test's display there is no frame, and the box
// stands up and left by the room Qt leaves for one (at most 10 pixels
// across and 40 down).
constexpr int kFrameAllowanceX = 10;
constexpr int kFrameAllowanceY = 40;

void ExpectCentredOn(const QRect& box, const QPoint& centre, const std::string& what) {
    const QPoint offset = centre - box.center();
    EXPECT_TRUE(offset.x() >= -1 && offset.x() <= kFrameAllowanceX + 1 && offset.y() >= -1 &&
                offset.y() <= kFrameAllowanceY + 1)
        << "box at " << box.x() << "," << box.y() << " " << box.width() << "x" << box.height()
        << ", centre of " << what << " at " << centre.x() << "," << centre.y();
}

void ExpectCentredOver(const QRect& box, const QWidget& owner) {
    ExpectCentredOn(box, owner.frameGeometry().center(), owner.objectName().toStdString());
}

class MessageBoxPlacementTest : public testing::Test {
protected:
    void SetUp() override {
        if (!XvfbDisplayReady()) {
            GTEST_SKIP() << "Xvfb is not installed: this test needs an X display";
        }
        state.dataFolder = dir.Path();
    }

    TempDir dir;
    SettingsStore store{dir / "Tallybird.ini"};
    Settings settings{store};
    SharedState state;
    ExportText exportText;
};

TEST_F(MessageBoxPlacementTest, ARegistrationPageBoxOpensOverThePageNotTheHiddenMainWindow) {
    // As at the first start: the main window exists but was never shown.
    MessageBoxDialogs dialogs;
    MainWindow window(state, settings, dialogs, exportText, [] { return false; });
    dialogs.SetFallback(&window);

    RegistrationPage page(state, settings, dialogs, 44);
    page.move(520, 260);
    page.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));

    const auto box =
        BoxGeometryWhile([&] { page.findChild<QPushButton*>("Command1")->click(); }); // no name yet
    ASSERT_TRUE(box.has_value()) << "\"You must enter a name\" was shown";
    ExpectCentredOver(*box, page);
    page.hide();
}

TEST_F(MessageBoxPlacementTest, AMainWindowBoxOpensOverTheWindowWhereverItStands) {
    MessageBoxDialogs dialogs;
    MainWindow window(state, settings, dialogs, exportText, [] { return false; });
    dialogs.SetFallback(&window);
    window.move(480, 200);
    window.Restore();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    // Keyboard Wedge On, checked (no box) and unchecked: the unplug message.
    window.findChild<QAction*>("mnuAdvancedKeyboardWedgeOn")->trigger();
    const auto box = BoxGeometryWhile(
        [&] { window.findChild<QAction*>("mnuAdvancedKeyboardWedgeOn")->trigger(); });
    ASSERT_TRUE(box.has_value());
    ExpectCentredOver(*box, window);

    // From the tray, the same box has no window to open over: the middle of
    // the screen.
    window.hide();
    const auto alone = BoxGeometryWhile(
        [&] { window.ShowMessage("USB Fail", "Device Unplugged", MessageIcon::Critical); });
    ASSERT_TRUE(alone.has_value());
    const QRect screen = QApplication::primaryScreen()->availableGeometry();
    ExpectCentredOn(*alone, screen.center(), "the screen");
}

} // namespace
} // namespace tallybird::test
