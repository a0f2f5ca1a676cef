#include "model/country_table.h"

#include <algorithm>

namespace tallybird {
namespace {

// clang-format off
const std::array<std::string_view, kCountryCount> kCountries = {
    "Afghanistan", "Albania", "Algeria", "Andorra", "Angola", "Antigua & Deps", "Argentina",
    "Armenia", "Australia", "Austria", "Azerbaijan", "Bahamas", "Bahrain", "Bangladesh",
    "Barbados", "Belarus", "Belgium", "Belize", "Benin", "Bhutan", "Bolivia", "Bosnia Herzegovina",
    "Botswana", "Brazil", "Brunei", "Bulgaria", "Burkina", "Burundi", "Cambodia", "Cameroon",
    "Canada", "Cape Verde", "Central African Rep", "Chad", "Channel Islands", "Chile", "China",
    "Colombia", "Comoros", "Congo", "Congo {Democratic Rep}", "Costa Rica", "Croatia", "Cuba",
    "Cyprus", "Czech Republic", "Denmark", "Djibouti", "Dominica", "Dominican Republic",
    "East Timor", "Ecuador", "Egypt", "El Salvador", "Equatorial Guinea", "Eritrea", "Estonia",
    "Ethiopia", "Fiji", "Finland", "France", "Gabon", "Gambia", "Georgia", "Germany", "Ghana",
    "Greece", "Grenada", "Guatemala", "Guinea", "Guinea-Bissau", "Guyana", "Haiti", "Honduras",
    "Hungary", "Iceland", "India", "Indonesia", "Iran", "Iraq", "Ireland {Republic}", "Israel",
    "Italy", "Ivory Coast", "Jamaica", "Japan", "Jordan", "Kazakhstan", "Kenya", "Kiribati",
    "Korea North", "Korea South", "Kosovo", "Kuwait", "Kyrgyzstan", "Laos", "Latvia", "Lebanon",
    "Lesotho", "Liberia", "Libya", "Liechtenstein", "Lithuania", "Luxembourg", "Macedonia",
    "Madagascar", "Malawi", "Malaysia", "Maldives", "Mali", "Malta", "Marshall Islands",
    "Mauritania", "Mauritius", "Mexico", "Micronesia", "Moldova", "Monaco", "Mongolia",
    "Montenegro", "Morocco", "Mozambique", "Myanmar, {Burma}", "Namibia", "Nauru", "Nepal",
    "Netherlands", "New Zealand", "Nicaragua", "Niger", "Nigeria", "Norway", "Oman", "Pakistan",
    "Palau", "Panama", "Papua New Guinea", "Paraguay", "Peru", "Philippines", "Poland", "Portugal",
    "Qatar", "Romania", "Russian Federation", "Rwanda", "St Kitts & Nevis", "St Lucia",
    "Saint Vincent & the Grenadines", "Samoa", "San Marino", "Sao Tome & Principe", "Saudi Arabia",
    "Senegal", "Serbia", "Seychelles", "Sierra Leone", "Singapore", "Slovakia", "Slovenia",
    "Solomon Islands", "Somalia", "South Africa", "Spain", "Sri Lanka", "Sudan", "Suriname",
    "Swaziland", "Sweden", "Switzerland", "Syria", "Taiwan", "Tajikistan", "Tanzania", "Thailand",
    "Togo", "Tonga", "Trinidad & Tobago", "Tunisia", "Turkey", "Turkmenistan", "Tuvalu", "Uganda",
    "Ukraine", "United Arab Emirates", "United Kingdom", "United States", "Uruguay", "Uzbekistan",
    "Vanuatu", "Vatican City", "Venezuela", "Vietnam", "Yemen", "Zambia", "Zimbabwe",
};

// International dialling code -> list entry.
struct DiallingCode {
    int code;
    std::string_view country;
};
constexpr std::array<DiallingCode, 190> kDiallingCodes = {{
    {1, "United States"},
    {7, "Russian Federation"},
    {20, "Egypt"},
    {27, "South Africa"},
    {30, "Greece"},
    {31, "Netherlands"},
    {32, "Belgium"},
    {33, "France"},
    {34, "Spain"},
    {36, "Hungary"},
    {39, "Italy"},
    {40, "Romania"},
    {41, "Switzerland"},
    {43, "Austria"},
    {44, "United Kingdom"},
    {45, "Denmark"},
    {46, "Sweden"},
    {47, "Norway"},
    {48, "Poland"},
    {49, "Germany"},
    {51, "Peru"},
    {52, "Mexico"},
    {53, "Cuba"},
    {54, "Argentina"},
    {55, "Brazil"},
    {56, "Chile"},
    {57, "Colombia"},
    {58, "Venezuela"},
    {60, "Malaysia"},
    {61, "Australia"},
    {62, "Indonesia"},
    {63, "Philippines"},
    {64, "New Zealand"},
    {65, "Singapore"},
    {66, "Thailand"},
    {81, "Japan"},
    {82, "Korea South"},
    {84, "Vietnam"},
    {86, "China"},
    {90, "Turkey"},
    {91, "India"},
    {92, "Pakistan"},
    {93, "Afghanistan"},
    {94, "Sri Lanka"},
    {95, "Myanmar, {Burma}"},
    {98, "Iran"},
    {102, "Antigua & Deps"},
    {103, "Bahamas"},
    {104, "Barbados"},
    {107, "Canada"},
    {109, "Dominica"},
    {110, "Dominican Republic"},
    {111, "Grenada"},
    {112, "Jamaica"},
    {115, "St Kitts & Nevis"},
    {117, "Trinidad & Tobago"},
    {122, "St Lucia"},
    {212, "Morocco"},
    {213, "Algeria"},
    {216, "Tunisia"},
    {218, "Libya"},
    {220, "Gambia"},
    {221, "Senegal"},
    {222, "Mauritania"},
    {223, "Mali"},
    {224, "Guinea"},
    {226, "Burkina"},
    {227, "Niger"},
    {228, "Togo"},
    {229, "Benin"},
    {230, "Mauritius"},
    {231, "Liberia"},
    {232, "Sierra Leone"},
    {233, "Ghana"},
    {234, "Nigeria"},
    {235, "Chad"},
    {236, "Central African Rep"},
    {237, "Cameroon"},
    {238, "Cape Verde"},
    {239, "Sao Tome & Principe"},
    {240, "Equatorial Guinea"},
    {241, "Gabon"},
    {242, "Congo"},
    {243, "Congo {Democratic Rep}"},
    {244, "Angola"},
    {245, "Guinea-Bissau"},
    {248, "Seychelles"},
    {249, "Sudan"},
    {250, "Rwanda"},
    {251, "Ethiopia"},
    {252, "Somalia"},
    {253, "Djibouti"},
    {254, "Kenya"},
    {255, "Tanzania"},
    {256, "Uganda"},
    {257, "Burundi"},
    {258, "Mozambique"},
    {260, "Zambia"},
    {261, "Madagascar"},
    {263, "Zimbabwe"},
    {264, "Namibia"},
    {265, "Malawi"},
    {266, "Lesotho"},
    {267, "Botswana"},
    {268, "Swaziland"},
    {291, "Eritrea"},
    {351, "Portugal"},
    {352, "Luxembourg"},
    {353, "Ireland {Republic}"},
    {354, "Iceland"},
    {355, "Albania"},
    {356, "Malta"},
    {357, "Cyprus"},
    {358, "Finland"},
    {359, "Bulgaria"},
    {370, "Lithuania"},
    {371, "Latvia"},
    {372, "Estonia"},
    {373, "Moldova"},
    {374, "Armenia"},
    {375, "Belarus"},
    {376, "Andorra"},
    {377, "Monaco"},
    {378, "San Marino"},
    {379, "Vatican City"},
    {380, "Ukraine"},
    {385, "Croatia"},
    {386, "Slovenia"},
    {387, "Bosnia Herzegovina"},
    {389, "Macedonia"},
    {420, "Czech Republic"},
    {421, "Slovakia"},
    {423, "Liechtenstein"},
    {501, "Belize"},
    {502, "Guatemala"},
    {503, "El Salvador"},
    {504, "Honduras"},
    {505, "Nicaragua"},
    {506, "Costa Rica"},
    {507, "Panama"},
    {509, "Haiti"},
    {591, "Bolivia"},
    {592, "Guyana"},
    {593, "Ecuador"},
    {595, "Paraguay"},
    {597, "Suriname"},
    {598, "Uruguay"},
    {670, "East Timor"},
    {673, "Brunei"},
    {674, "Nauru"},
    {675, "Papua New Guinea"},
    {676, "Tonga"},
    {677, "Solomon Islands"},
    {678, "Vanuatu"},
    {679, "Fiji"},
    {680, "Palau"},
    {685, "Samoa"},
    {686, "Kiribati"},
    {688, "Tuvalu"},
    {691, "Micronesia"},
    {692, "Marshall Islands"},
    {705, "Kazakhstan"},
    {850, "Korea North"},
    {855, "Cambodia"},
    {856, "Laos"},
    {880, "Bangladesh"},
    {886, "Taiwan"},
    {960, "Maldives"},
    {961, "Lebanon"},
    {962, "Jordan"},
    {963, "Syria"},
    {964, "Iraq"},
    {965, "Kuwait"},
    {966, "Saudi Arabia"},
    {967, "Yemen"},
    {968, "Oman"},
    {971, "United Arab Emirates"},
    {972, "Israel"},
    {973, "Bahrain"},
    {974, "Qatar"},
    {975, "Bhutan"},
    {976, "Mongolia"},
    {977, "Nepal"},
    {992, "Tajikistan"},
    {993, "Turkmenistan"},
    {994, "Azerbaijan"},
    {995, "Georgia"},
    {996, "Kyrgyzstan"},
    {998, "Uzbekistan"},
    {2691, "Comoros"},
}};
// clang-format on

constexpr int kIrelandNumber = 84;

int IndexOfName(std::string_view name) {
    const auto& list = CountryList();
    const auto* const it = std::find(list.begin(), list.end(), name);
    return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

} // namespace

const std::array<std::string_view, kCountryCount>& CountryList() {
    return kCountries;
}

int CountryNumberOfIndex(int index) {
    const std::string_view name = kCountries.at(static_cast<std::size_t>(index));
    if (name == "United Kingdom") {
        return 1;
    }
    if (name == "Netherlands") {
        return 2;
    }
    if (name == "Germany") {
        return 3;
    }
    return index + 4;
}

CountryTable BuildCountryTable() {
    CountryTable table;
    for (int index = 0; index < kCountryCount; ++index) {
        std::string name(kCountries[static_cast<std::size_t>(index)]);
        const std::size_t padded = (name.size() / 4 + 1) * 4;
        name.resize(padded, ' ');
        table[static_cast<std::size_t>(CountryNumberOfIndex(index))] = std::move(name);
    }
    table[kIrelandNumber] = "Ireland";
    return table;
}

std::optional<int> CountryNumberForDiallingCode(int diallingCode) {
    for (const auto& [code, country] : kDiallingCodes) {
        if (code == diallingCode) {
            return CountryNumberOfIndex(IndexOfName(country));
        }
    }
    return std::nullopt;
}

} // namespace tallybird
