#include "desktop/registration_page.h"

#include "model/country_table.h"
#include "model/registration_rules.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <optional>

namespace tallybird {
namespace {

constexpr int kPageFontSize = 14;

// Caption, and the text box each caption row edits (none: the country list).
struct Row {
    const char* caption;
    std::optional<RegistrationPage::TextBox> box;
};
constexpr std::array<Row, 9> kRows = {{
    {"Name:", RegistrationPage::kNameBox},
    {"Address Line 1:", RegistrationPage::kAddressLine1Box},
    {"Address Line 2:", RegistrationPage::kAddressLine2Box},
    {"City:", RegistrationPage::kCityBox},
    {"County:", RegistrationPage::kCountyBox},
    {"Country:", std::nullopt},
    {"Post Code:", RegistrationPage::kPostCodeBox},
    {"Phone Number:", RegistrationPage::kPhoneNumberBox},
    {"Email Address:", RegistrationPage::kEmailAddressBox},
}};

void SetFontSize(QWidget* widget, int size) {
    QFont font = widget->font();
    font.setPointSize(size);
    widget->setFont(font);
}

QString ToQ(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

RegistrationPage::RegistrationPage(SharedState& state, Settings& settings, Dialogs& dialogs,
                                   std::optional<int> localeDiallingCode, QWidget* parent)
    : QDialog(parent), state_(state), settings_(settings), dialogs_(dialogs) {
    setObjectName(QStringLiteral("FrmStartupB"));
    setWindowTitle(QStringLiteral("Kivo Scanner Registration"));
    setModal(true);

    auto* grid = new QGridLayout(this);
    for (std::size_t i = 0; i < textBoxes_.size(); ++i) {
        textBoxes_[i] = new QLineEdit(this);
        textBoxes_[i]->setObjectName(QStringLiteral("RegText_%1").arg(i));
        if (i != kEmailAddressBox) {
            SetFontSize(textBoxes_[i], kPageFontSize);
        }
    }
    countryCombo_ = new QComboBox(this);
    countryCombo_->setObjectName(QStringLiteral("CountryCombo"));
    countryCombo_->setEditable(true);
    countryCombo_->setInsertPolicy(QComboBox::NoInsert);
    SetFontSize(countryCombo_, kPageFontSize);
    for (int index = 0; index < kCountryCount; ++index) {
        const auto name = CountryList()[static_cast<std::size_t>(index)];
        countryCombo_->addItem(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())),
                               CountryNumberOfIndex(index));
    }

    for (std::size_t i = 0; i < kRows.size(); ++i) {
        auto* label = new QLabel(QString::fromUtf8(kRows[i].caption), this);
        label->setObjectName(QStringLiteral("Label1_%1").arg(i));
        if (i <= 7) {
            SetFontSize(label, kPageFontSize);
        }
        QWidget* field = kRows[i].box ? static_cast<QWidget*>(textBoxes_[*kRows[i].box])
                                      : static_cast<QWidget*>(countryCombo_);
        grid->addWidget(label, static_cast<int>(i), 0);
        grid->addWidget(field, static_cast<int>(i), 1);
    }
    auto* finish = new QPushButton(QStringLiteral("Finish"), this);
    finish->setObjectName(QStringLiteral("Command1"));
    finish->setDefault(true);
    connect(finish, &QPushButton::clicked, this, &RegistrationPage::Finish);
    grid->addWidget(finish, static_cast<int>(kRows.size()), 1, Qt::AlignRight);

    // Tab goes down the page as the rows are laid out, the country list
    // included, and ends on "Finish".
    QWidget* previous = nullptr;
    for (const Row& row : kRows) {
        QWidget* field = row.box ? static_cast<QWidget*>(textBoxes_[*row.box])
                                 : static_cast<QWidget*>(countryCombo_);
        if (previous != nullptr) {
            setTabOrder(previous, field);
        }
        previous = field;
    }
    setTabOrder(previous, finish);

    // Load.
    loaded_ = ReadRegistrationRecord(state_.dataFolder);
    record_ = loaded_;
    defaultCountry_ = tallybird::PreselectedCountry(loaded_.countryNumber, localeDiallingCode);
    const int entry = defaultCountry_ != 0 ? countryCombo_->findData(defaultCountry_) : -1;
    if (entry < 0) {
        defaultCountry_ = loaded_.countryNumber; // a number no entry carries stays as it was
    }
    countryCombo_->setCurrentIndex(entry);
    if (entry < 0) {
        countryCombo_->setEditText(QString::fromUtf8(kSelectCountryText));
    }
    textBoxes_[kNameBox]->setText(ToQ(loaded_.ownerName));
    textBoxes_[kAddressLine1Box]->setText(ToQ(loaded_.addressLine1));
    textBoxes_[kCityBox]->setText(ToQ(loaded_.city));
    textBoxes_[kCountyBox]->setText(ToQ(loaded_.county));
    textBoxes_[kPostCodeBox]->setText(ToQ(loaded_.postCode));
    textBoxes_[kPhoneNumberBox]->setText(ToQ(loaded_.phoneNumber));
    textBoxes_[kEmailAddressBox]->setText(ToQ(loaded_.emailAddress));
    countryAtLoad_ = loaded_.countryNumber;
}

void RegistrationPage::Finish() {
    const int index = countryCombo_->currentIndex();
    DetailsEntry entry;
    entry.name = textBoxes_[kNameBox]->text().toStdString();
    entry.postCode = textBoxes_[kPostCodeBox]->text().toStdString();
    entry.countryText = countryCombo_->currentText().toStdString();
    entry.countryChosen =
        index >= 0 && countryCombo_->itemText(index) == countryCombo_->currentText();
    if (const auto problem = FinishProblem(entry)) {
        dialogs_.Message(this, "Missing information", *problem, DialogIcon::Warning,
                         DialogButtons::Ok);
        return;
    }
    record_.ownerName = entry.name;
    record_.addressLine1 = textBoxes_[kAddressLine1Box]->text().toStdString();
    record_.city = textBoxes_[kCityBox]->text().toStdString();
    record_.county = textBoxes_[kCountyBox]->text().toStdString();
    record_.postCode = entry.postCode;
    record_.phoneNumber = textBoxes_[kPhoneNumberBox]->text().toStdString();
    record_.emailAddress = textBoxes_[kEmailAddressBox]->text().toStdString();
    record_.countryNumber = static_cast<std::int16_t>(countryCombo_->itemData(index).toInt());
    if (record_.countryNumber > 1) {
        RequestReset(state_, settings_, ResetKind::KeepsScans);
    }
    settings_.SetStartUp("Registered");
    completed_ = true;
    close();
}

void RegistrationPage::reject() {
    close();
}

void RegistrationPage::closeEvent(QCloseEvent* event) {
    if (!Close()) {
        event->ignore();
        return;
    }
    event->accept();
    done(completed_ ? QDialog::Accepted : QDialog::Rejected);
}

bool RegistrationPage::Close() {
    if (!completed_) {
        const DialogAnswer answer = dialogs_.Message(
            this, "Registration not complete",
            "By not registering, missing animal microchips in your country will not be "
            "downloaded to the scanner. Are you sure you want to exit without registering?",
            DialogIcon::Information, DialogButtons::YesNo);
        if (answer != DialogAnswer::Yes) {
            return false;
        }
        record_ =
            UnfinishedRecord(loaded_, countryCombo_->currentText().toStdString(), defaultCountry_);
    }
    WriteRegistrationRecord(state_.dataFolder, record_);
    if (CountryChanged(countryAtLoad_, record_.countryNumber)) {
        dialogs_.Message(this, kApplicationTitle,
                         "The registration country of the scanner has been changed, the scanner "
                         "will now be set for this country.",
                         DialogIcon::None, DialogButtons::Ok);
        dialogs_.Message(this, kApplicationTitle,
                         "Please unplug any attached scanners, then click OK and wait for 5 "
                         "seconds before plugging the scanner back in.",
                         DialogIcon::None, DialogButtons::Ok);
        RequestReset(state_, settings_, ResetKind::KeepsScans);
    }
    return true;
}

} // namespace tallybird
