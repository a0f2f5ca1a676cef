#include "base/leading_number.h"

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <string>

#include <locale.h>
#include <stdlib.h>

namespace tallybird {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

struct Scan {
    double value = 0;
    bool anyDigit = false;
    bool consumedAll = false;
};

// A magnitude too large for a double reads as infinity; one too small
// ("1e-400") as zero, never as infinity. strtod tells the two apart; the C
// locale keeps the full stop as the decimal point whatever the user's locale.
double OutOfRangeMagnitude(const char* digits) {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t{});
    return c != locale_t{} ? strtod_l(digits, nullptr, c) : HUGE_VAL;
}

// Reads sign, digits, a decimal fraction and an exponent (E or D, as the
// classic Basic reader does), skipping blanks anywhere.
Scan ScanNumber(std::string_view text) {
    std::string compact;
    compact.reserve(text.size());
    for (const char c : text) {
        if (!IsBlank(c)) {
            compact.push_back(c);
        }
    }

    std::size_t pos = 0;
    std::string number;
    if (pos < compact.size() && (compact[pos] == '+' || compact[pos] == '-')) {
        if (compact[pos] == '-') {
            number.push_back('-');
        }
        ++pos;
    }
    bool anyDigit = false;
    while (pos < compact.size() && IsDigit(compact[pos])) {
        number.push_back(compact[pos++]);
        anyDigit = true;
    }
    if (pos < compact.size() && compact[pos] == '.') {
        ++pos;
        std::string fraction;
        while (pos < compact.size() && IsDigit(compact[pos])) {
            fraction.push_back(compact[pos++]);
            anyDigit = true;
        }
        if (!fraction.empty()) {
            number += '.' + fraction;
        }
    }
    if (anyDigit && pos < compact.size()) {
        const char e = compact[pos];
        if (e == 'e' || e == 'E' || e == 'd' || e == 'D') {
            std::size_t expPos = pos + 1;
            std::string exponent = "e";
            if (expPos < compact.size() && (compact[expPos] == '+' || compact[expPos] == '-')) {
                exponent.push_back(compact[expPos++]);
            }
            if (expPos < compact.size() && IsDigit(compact[expPos])) {
                while (expPos < compact.size() && IsDigit(compact[expPos])) {
                    exponent.push_back(compact[expPos++]);
                }
                number += exponent;
                pos = expPos;
            }
        }
    }

    Scan scan;
    scan.anyDigit = anyDigit;
    scan.consumedAll = pos == compact.size();
    if (anyDigit) {
        const char* first = number.data();
        if (*first == '-') {
            ++first; // from_chars takes no sign for the magnitude we negate below
        }
        double magnitude = 0;
        const auto result = std::from_chars(first, number.data() + number.size(), magnitude);
        if (result.ec == std::errc::result_out_of_range) {
            magnitude = OutOfRangeMagnitude(first);
        }
        scan.value = number[0] == '-' ? -magnitude : magnitude;
    }
    return scan;
}

} // namespace

double LeadingNumber(std::string_view text) {
    return ScanNumber(text).value;
}

std::optional<double> WholeNumber(std::string_view text) {
    const Scan scan = ScanNumber(text);
    if (!scan.anyDigit || !scan.consumedAll) {
        return std::nullopt;
    }
    return scan.value;
}

std::optional<int> HexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return std::nullopt;
}

double RoundHalfToEven(double value) {
    return std::nearbyint(value);
}

} // namespace tallybird
