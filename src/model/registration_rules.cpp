#include "model/registration_rules.h"

#include "model/country_table.h"

namespace tallybird {

std::optional<std::string> FinishProblem(const DetailsEntry& entry) {
    if (entry.name.empty()) {
        return "You must enter a name";
    }
    if (entry.postCode.empty()) {
        return "You must enter a postcode";
    }
    if (entry.countryText == kSelectCountryText) {
        return "You must select a country";
    }
    if (!entry.countryChosen) {
        return "Please use the drop down to select the country";
    }
    return std::nullopt;
}

int PreselectedCountry(int recordCountry, std::optional<int> localeDiallingCode) {
    if (recordCountry != 0) {
        return recordCountry;
    }
    if (localeDiallingCode) {
        if (const auto country = CountryNumberForDiallingCode(*localeDiallingCode)) {
            return *country;
        }
    }
    return 0;
}

bool CountryChanged(int countryAtLoad, int countryNow) {
    return countryNow != countryAtLoad && !(countryAtLoad == 0 && countryNow == 1);
}

RegistrationRecord UnfinishedRecord(RegistrationRecord loaded, const std::string& countryText,
                                    int preselectedCountry) {
    if (loaded.ownerName.empty()) {
        loaded.ownerName = "Not Registered";
    }
    if (loaded.postCode.empty()) {
        loaded.postCode = countryText;
    }
    loaded.countryNumber = static_cast<std::int16_t>(preselectedCountry);
    return loaded;
}

} // namespace tallybird
