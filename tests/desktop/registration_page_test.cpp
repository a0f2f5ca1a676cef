#include "desktop/registration_page.h"
#include "desktop/welcome_page.h"
#include "scripted_dialogs.h"
#include "support/test_support.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace tallybird::test {
namespace {

const std::string kChangedCountry = "The registration country of the scanner has been changed, "
                                    "the scanner will now be set for this country.";
const std::string kUnplug = "Please unplug any attached scanners, then click OK and wait for 5 "
                            "seconds before plugging the scanner back in.";

class RegistrationPageTest : public testing::Test {
protected:
    void SetUp() override { state.dataFolder = dir.Path(); }

    void Open(std::optional<int> locale) {
        page = std::make_unique<RegistrationPage>(state, settings, dialogs, locale);
        page->show();
    }
    QLineEdit* Box(int i) const {
        return page->findChild<QLineEdit*>(QStringLiteral("RegText_%1").arg(i));
    }
    QComboBox* Combo() const { return page->findChild<QComboBox*>("CountryCombo"); }
    void ClickFinish() const { page->findChild<QPushButton*>("Command1")->click(); }
    RegistrationRecord Stored() const { return ReadRegistrationRecord(dir.Path()); }

    TempDir dir;
    SettingsStore store{dir / "Tallybird.ini"};
    Settings settings{store};
    SharedState state;
    ScriptedDialogs dialogs;
    std::unique_ptr<RegistrationPage> page;
};

TEST_F(RegistrationPageTest, CaptionsFontsAndTheAlphabeticalCountryList) {
    Open(std::nullopt);
    EXPECT_EQ(page->objectName(), "FrmStartupB");
    EXPECT_EQ(page->windowTitle(), "Kivo Scanner Registration");
    const char* captions[] = {
        "Name:",    "Address Line 1:", "Address Line 2:", "City:",         "County:",
        "Country:", "Post Code:",      "Phone Number:",   "Email Address:"};
    for (int i = 0; i < 9; ++i) {
        const auto* label = page->findChild<QLabel*>(QStringLiteral("Label1_%1").arg(i));
        ASSERT_NE(label, nullptr) << i;
        EXPECT_EQ(label->text().toStdString(), captions[i]);
        EXPECT_EQ(label->font().pointSize() == 14, i <= 7) << "caption " << i;
    }
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(Box(i)->font().pointSize() == 14, i <= 6) << "box " << i;
    }
    EXPECT_EQ(Combo()->font().pointSize(), 14);
    EXPECT_EQ(Combo()->currentText(), "Select Country");
    ASSERT_EQ(Combo()->count(), 196);
    EXPECT_EQ(Combo()->itemText(0), "Afghanistan");
    EXPECT_EQ(Combo()->itemText(195), "Zimbabwe");
    EXPECT_EQ(Combo()->itemData(Combo()->findText("United Kingdom")).toInt(), 1);
    EXPECT_EQ(Combo()->itemData(Combo()->findText("Germany")).toInt(), 3);
    EXPECT_EQ(page->findChild<QPushButton*>("Command1")->text(), "Finish");

    WelcomePage welcome;
    EXPECT_EQ(welcome.windowTitle(), "Kivo Registration");
    const auto* text = welcome.findChild<QLabel*>("Label1");
    EXPECT_EQ(text->font().pointSize(), 14);
    EXPECT_TRUE(text->text().startsWith(
        "Thank you for your purchase and installing the Kivo Scanner.\n\nBy clicking next"));
    EXPECT_EQ(welcome.findChild<QPushButton*>("Command1")->text(), "Next");
}

TEST_F(RegistrationPageTest, FinishChecksInOrderAndStaysOpenUntilAllPass) {
    Open(std::nullopt);
    ClickFinish();
    Box(0)->setText("Ann Owner");
    ClickFinish();
    Box(5)->setText("AB1 2CD");
    ClickFinish();
    Combo()->setEditText("Atlantis");
    ClickFinish();
    EXPECT_EQ(dialogs.Texts(),
              (std::vector<std::string>{"You must enter a name", "You must enter a postcode",
                                        "You must select a country",
                                        "Please use the drop down to select the country"}));
    for (const auto& box : dialogs.shown) {
        EXPECT_EQ(box.title, "Missing information");
        EXPECT_EQ(box.icon, DialogIcon::Warning);
        EXPECT_EQ(box.owner, page.get()) << "the box opens over the page";
    }
    EXPECT_TRUE(page->isVisible());
    EXPECT_FALSE(page->Completed());
    EXPECT_FALSE(std::filesystem::exists(dir / "TBLREG.tbf"));

    dialogs.shown.clear();
    Combo()->setCurrentIndex(Combo()->findText("United Kingdom"));
    Box(2)->setText("never kept");
    Box(7)->setText("ann@example.org");
    ClickFinish();
    EXPECT_FALSE(page->isVisible());
    EXPECT_TRUE(page->Completed());
    EXPECT_TRUE(dialogs.shown.empty()) << "a first registration for country 1 changes nothing";
    EXPECT_EQ(settings.StartUp(), "Registered");
    const RegistrationRecord stored = Stored();
    EXPECT_EQ(stored.ownerName, "Ann Owner");
    EXPECT_EQ(stored.postCode, "AB1 2CD");
    EXPECT_EQ(stored.emailAddress, "ann@example.org");
    EXPECT_EQ(stored.countryNumber, 1);
    EXPECT_EQ(stored.addressLine1, "");
}

TEST_F(RegistrationPageTest, TabGoesDownThePageAsLaidOutThenToFinish) {
    Open(std::nullopt);
    page->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(page.get()));
    Box(0)->setFocus();
    std::vector<std::string> order;
    for (int step = 0; step < 10; ++step) {
        QWidget* focused = QApplication::focusWidget();
        ASSERT_NE(focused, nullptr);
        // The editable country list takes the focus in its line edit.
        if (focused == Combo()->lineEdit()) {
            focused = Combo();
        }
        order.push_back(focused->objectName().toStdString());
        QTest::keyClick(focused, Qt::Key_Tab);
    }
    EXPECT_EQ(order, (std::vector<std::string>{"RegText_0", "RegText_1", "RegText_2", "RegText_3",
                                               "RegText_4", "CountryCombo", "RegText_5",
                                               "RegText_6", "RegText_7", "Command1"}));
}

struct CountryCase {
    const char* name;
    int storedCountry;         // 0: a first run
    std::optional<int> locale; // the locale's dialling code
    int preselected;           // what the page offers
    const char* chosen;        // nullptr: keep the preselection
    bool reset;                // the next session sets the scanner up again
    bool changeMessages;
};

class CountryTest : public RegistrationPageTest, public testing::WithParamInterface<CountryCase> {};

TEST_P(CountryTest, FinishStoresTheCountryAndAsksForAResetWhenItChanged) {
    const CountryCase& c = GetParam();
    if (c.storedCountry != 0) {
        RegistrationRecord record;
        record.ownerName = "Ann Owner";
        record.postCode = "AB1 2CD";
        record.countryNumber = static_cast<std::int16_t>(c.storedCountry);
        ASSERT_TRUE(WriteRegistrationRecord(dir.Path(), record));
    }
    Open(c.locale);
    EXPECT_EQ(page->PreselectedCountry(), c.preselected);
    EXPECT_EQ(Combo()->currentIndex() >= 0 ? Combo()->currentData().toInt() : 0, c.preselected);
    Box(0)->setText("Ann Owner");
    Box(5)->setText("AB1 2CD");
    if (c.chosen != nullptr) {
        Combo()->setCurrentIndex(Combo()->findText(c.chosen));
    }
    ClickFinish();
    ASSERT_TRUE(page->Completed());
    EXPECT_EQ(state.resetPending, c.reset);
    EXPECT_EQ(settings.ResetPending(), c.reset) << "kept for the next start";
    EXPECT_FALSE(settings.ResetDiscardsScans()) << "a country change keeps the scanned chips";
    const std::vector<std::string> changed{kChangedCountry, kUnplug};
    EXPECT_EQ(dialogs.Texts(), c.changeMessages ? changed : std::vector<std::string>{});
    EXPECT_EQ(Stored().countryNumber, Combo()->currentData().toInt());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CountryTest,
    testing::Values(CountryCase{"Locale44", 0, 44, 1, nullptr, false, false},
                    CountryCase{"Locale49", 0, 49, 3, nullptr, true, true},
                    CountryCase{"NoLocale", 0, std::nullopt, 0, "Germany", true, true},
                    CountryCase{"UnknownCode", 0, 999, 0, "United Kingdom", false, false},
                    CountryCase{"StoredBeatsLocale", 2, 49, 2, nullptr, true, false},
                    CountryCase{"BackToCountry1", 2, 44, 2, "United Kingdom", true, true}),
    [](const testing::TestParamInfo<CountryCase>& instance) { return instance.param.name; });

TEST_F(RegistrationPageTest, ClosingWithoutFinishingAsksAndKeepsThePreselection) {
    Open(44);
    Box(0)->setText("typed but dropped");
    dialogs.answers = {DialogAnswer::No};
    EXPECT_FALSE(page->close());
    ASSERT_EQ(dialogs.shown.size(), 1U);
    EXPECT_EQ(dialogs.shown[0].title, "Registration not complete");
    EXPECT_EQ(dialogs.shown[0].text,
              "By not registering, missing animal microchips in your country will not be "
              "downloaded to the scanner. Are you sure you want to exit without registering?");
    EXPECT_EQ(dialogs.shown[0].buttons, DialogButtons::YesNo);
    EXPECT_EQ(dialogs.shown[0].owner, page.get());
    EXPECT_TRUE(page->isVisible()) << "No keeps the page open";
    EXPECT_FALSE(std::filesystem::exists(dir / "TBLREG.tbf"));

    EXPECT_TRUE(page->close()); // Yes
    EXPECT_FALSE(page->isVisible());
    const RegistrationRecord stored = Stored();
    EXPECT_EQ(stored.ownerName, "Not Registered");
    EXPECT_EQ(stored.postCode, "United Kingdom") << "the country box's text";
    EXPECT_EQ(stored.countryNumber, 1);
    EXPECT_EQ(settings.StartUp(), "") << "the wizard comes again next time";
    EXPECT_FALSE(settings.ResetPending());
}

TEST_F(RegistrationPageTest, ClosingAFirstRunWithAForeignLocaleSetsTheScannerUp) {
    Open(49);
    EXPECT_TRUE(page->close());
    EXPECT_EQ(Stored().countryNumber, 3);
    EXPECT_EQ(Stored().postCode, "Germany");
    EXPECT_EQ(dialogs.Texts(),
              (std::vector<std::string>{dialogs.shown[0].text, kChangedCountry, kUnplug}));
    EXPECT_TRUE(settings.ResetPending());
}

} // namespace
} // namespace tallybird::test
