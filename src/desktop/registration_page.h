#pragma once

#include "desktop/dialogs.h"
#include "model/registration_record.h"
#include "model/settings.h"
#include "model/shared_state.h"

#include <QDialog>

#include <array>
#include <optional>

class QComboBox;
class QLineEdit;

namespace tallybird {

// The registration details page: the owner's name, address,
// contacts and country. Loading it reads the record and preselects a country
// (the record's, else the one of the locale's dialling code); closing it,
// by "Finish" or the close box, writes the record and asks the next session
// to set the scanner up again when its country changed.
class RegistrationPage final : public QDialog {
    Q_OBJECT

public:
    // The page's text boxes; their object names number them in this order.
    enum TextBox : std::size_t {
        kNameBox,
        kAddressLine1Box,
        kAddressLine2Box,
        kCityBox,
        kCountyBox,
        kPostCodeBox,
        kPhoneNumberBox,
        kEmailAddressBox,
        kTextBoxCount
    };

    RegistrationPage(SharedState& state, Settings& settings, Dialogs& dialogs,
                     std::optional<int> localeDiallingCode, QWidget* parent = nullptr);

    // "Finish": the four checks, then the record and "StartUp" = "Registered".
    void Finish();

    bool Completed() const { return completed_; }
    const RegistrationRecord& Record() const { return record_; }
    int PreselectedCountry() const { return defaultCountry_; }

    void reject() override; // Escape closes the page as the close box does

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // The close: false when the owner chose to stay on the page.
    bool Close();

    SharedState& state_;
    Settings& settings_;
    Dialogs& dialogs_;
    RegistrationRecord loaded_;
    RegistrationRecord record_;
    int countryAtLoad_ = 0;
    int defaultCountry_ = 0;
    bool completed_ = false;
    std::array<QLineEdit*, kTextBoxCount> textBoxes_{};
    QComboBox* countryCombo_ = nullptr;
};

} // namespace tallybird
