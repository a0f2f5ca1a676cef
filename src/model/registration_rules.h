#pragma once

#include "model/registration_record.h"

#include <optional>
#include <string>

// The registration details page's rules, kept apart from its widgets: what
// "Finish" accepts, which country is preselected, when a closed page changed
// the scanner's country, and what an unfinished page leaves in the record.

namespace tallybird {

// The details page's text of a country box with nothing chosen.
inline constexpr const char* kSelectCountryText = "Select Country";

// What "Finish" checks on the details page.
struct DetailsEntry {
    std::string name;
    std::string postCode;
    std::string countryText;    // the country box's text as shown
    bool countryChosen = false; // the text is one of the list's entries
};

// The first check "Finish" fails, in the order the user is told: name,
// post code, a country chosen at all, a country chosen from the list.
// Nothing when the page may close.
std::optional<std::string> FinishProblem(const DetailsEntry& entry);

// The country the details page preselects: the record's own, else the one
// the locale's dialling code names, else none (0).
int PreselectedCountry(int recordCountry, std::optional<int> localeDiallingCode);

// Whether closing the page changed the scanner's country, so the next session
// must set the scanner up again. A first registration for country 1, the
// scanner's factory setting, is no change.
bool CountryChanged(int countryAtLoad, int countryNow);

// The record kept when the owner closes the page without finishing: what was
// typed is dropped, an empty name reads "Not Registered", an empty post code
// takes the country box's text, and the country is the preselected one.
RegistrationRecord UnfinishedRecord(RegistrationRecord loaded, const std::string& countryText,
                                    int preselectedCountry);

} // namespace tallybird
