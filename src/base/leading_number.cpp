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

// The text without its blanks, read from the front; what was read so far is
// collected as a number text that from_chars takes.
class NumberReader {
public:
    explicit NumberReader(std::string_view text) {
        compact_.reserve(text.size());
        for (const char c : text) {
            if (!IsBlank(c)) {
                compact_.push_back(c);
            }
        }
    }

    bool AtEnd() const { return pos_ == compact_.size(); }
    bool AnyDigit() const { return anyDigit_; }
    const std::string& Number() const { return number_; }

    void ReadSign() {
        if (Next('+') || Next('-')) {
            if (compact_[pos_ - 1] == '-') {
                number_.push_back('-');
            }
        }
    }

    void ReadDigits() { anyDigit_ |= CopyDigits(number_); }

    void ReadFraction() {
        if (!Next('.')) {
            return;
        }
        std::string fraction;
        anyDigit_ |= CopyDigits(fraction);
        if (!fraction.empty()) {
            number_ += '.' + fraction;
        }
    }

    // An exponent counts only with a digit after its letter and sign;
    // otherwise the reading stops before the letter.
    void ReadExponent() {
        if (!anyDigit_ || AtEnd() || !IsExponentLetter(compact_[pos_])) {
            return;
        }
        const std::size_t letter = pos_++;
        std::string exponent = "e";
        if (Next('+') || Next('-')) {
            exponent.push_back(compact_[pos_ - 1]);
        }
        if (!CopyDigits(exponent)) {
            pos_ = letter;
            return;
        }
        number_ += exponent;
    }

private:
    static bool IsExponentLetter(char c) { return c == 'e' || c == 'E' || c == 'd' || c == 'D'; }

    bool Next(char c) {
        if (!AtEnd() && compact_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }

    bool CopyDigits(std::string& into) {
        const std::size_t start = pos_;
        while (!AtEnd() && IsDigit(compact_[pos_])) {
            into.push_back(compact_[pos_++]);
        }
        return pos_ > start;
    }

    std::string compact_;
    std::size_t pos_ = 0;
    std::string number_;
    bool anyDigit_ = false;
};

double ValueOfNumberText(const std::string& number) {
    const bool negative = number[0] == '-';
    // from_chars takes no sign for the magnitude negated below.
    const char* first = number.data() + (negative ? 1 : 0);
    double magnitude = 0;
    const auto result = std::from_chars(first, number.data() + number.size(), magnitude);
    if (result.ec == std::errc::result_out_of_range) {
        magnitude = OutOfRangeMagnitude(first);
    }
    return negative ? -magnitude : magnitude;
}

// Reads sign, digits, a decimal fraction and an exponent (E or D, as the
// classic Basic reader does), skipping blanks anywhere.
Scan ScanNumber(std::string_view text) {
    NumberReader reader(text);
    reader.ReadSign();
    reader.ReadDigits();
    reader.ReadFraction();
    reader.ReadExponent();

    Scan scan;
    scan.anyDigit = reader.AnyDigit();
    scan.consumedAll = reader.AtEnd();
    if (scan.anyDigit) {
        scan.value = ValueOfNumberText(reader.Number());
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
