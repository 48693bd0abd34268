// Number texts.
//
// Parsing checks the text against the grammar by hand and hands a normalised
// copy (point separator, no blanks, no '+') to std::from_chars, which rounds
// correctly and never looks at the process locale.
//
// Formatting follows the Delphi conventions the files and windows were made
// with: the value's exact decimal expansion (glibc's printf is exact) is
// rounded half away from zero to the wanted digits, then laid out as fixed or
// scientific text. Exact ties therefore round up in magnitude (12.125 with two
// decimals gives "12,13"), unlike printf's own rounding.
#include "model/numtext.h"

#include "core/errors.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace uav {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Adds two exponents without overflowing: the result only has to tell
// "far too large" from "far too small".
long saturatedAdd(long a, long b) {
    if (b > 0 && a > LONG_MAX - b) return LONG_MAX;
    if (b < 0 && a < LONG_MIN - b) return LONG_MIN;
    return a + b;
}

}  // namespace

bool tryParseNumber(std::string_view text, char decimalSep, double& out) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && isBlank(text[i])) ++i;

    std::string normal;  // what from_chars sees
    normal.reserve(n);
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (negative) normal += '-';

    // Mantissa: digits with at most one separator, at least one digit.
    std::size_t mantissaDigits = 0;
    long leadExp = 0;          // decimal exponent of the first non-zero digit, before the exponent part
    bool seenNonZero = false;
    long intDigitsAfterLead = 0;  // integer digits counted from the first non-zero one
    long fracZerosBeforeLead = 0;
    bool afterSep = false;
    for (; i < n; ++i) {
        const char c = text[i];
        if (isDigit(c)) {
            ++mantissaDigits;
            normal += c;
            if (!afterSep) {
                if (seenNonZero || c != '0') {
                    seenNonZero = true;
                    ++intDigitsAfterLead;
                }
            } else if (!seenNonZero) {
                if (c == '0') ++fracZerosBeforeLead;
                else seenNonZero = true;
            }
        } else if (c == decimalSep && !afterSep) {
            afterSep = true;
            normal += '.';
        } else {
            break;
        }
    }
    if (mantissaDigits == 0) return false;
    leadExp = intDigitsAfterLead > 0 ? intDigitsAfterLead - 1 : -(fracZerosBeforeLead + 1);

    // Exponent: E or e, optional sign, at least one digit.
    long exponent = 0;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        normal += 'e';
        ++i;
        bool expNegative = false;
        if (i < n && (text[i] == '+' || text[i] == '-')) {
            expNegative = text[i] == '-';
            if (expNegative) normal += '-';
            ++i;
        }
        std::size_t expDigits = 0;
        for (; i < n && isDigit(text[i]); ++i) {
            ++expDigits;
            normal += text[i];
            if (exponent < 1'000'000'000L) exponent = exponent * 10 + (text[i] - '0');
        }
        if (expDigits == 0) return false;
        if (expNegative) exponent = -exponent;
    }

    while (i < n && isBlank(text[i])) ++i;
    if (i != n) return false;

    double value = 0.0;
    const auto res = std::from_chars(normal.data(), normal.data() + normal.size(), value,
                                     std::chars_format::general);
    if (res.ptr != normal.data() + normal.size()) return false;
    if (res.ec == std::errc::result_out_of_range) {
        // Too large is refused; too small underflows to zero, as the
        // original extended-precision conversion did.
        if (!seenNonZero || saturatedAdd(leadExp, exponent) >= 0) return false;
        value = negative ? -0.0 : 0.0;
    } else if (res.ec != std::errc()) {
        return false;
    }
    if (!std::isfinite(value)) return false;
    out = value;
    return true;
}

double parseNumber(std::string_view text, char decimalSep) {
    double v = 0.0;
    if (!tryParseNumber(text, decimalSep, v)) throw notAFloat(std::string(text));
    return v;
}

std::string localizedDefault(std::string_view commaText, char decimalSep) {
    std::string s(commaText);
    std::replace(s.begin(), s.end(), ',', decimalSep);
    return s;
}

namespace {

// A non-negative finite value as significant digits: value = 0.d1d2d3... * 10^exp.
// No leading or trailing zeros in `digits`; zero has no digits.
struct Decimal {
    std::string digits;
    int exp = 0;
};

// The formatters keep at most MAX_DIGITS (18) digits and round on the digit
// after them, so the first 20 digits of the exact expansion are enough.
constexpr std::size_t EXACT_DIGITS = 20;

Decimal exactDecimal(double magnitude) {
    Decimal d;
    if (magnitude == 0.0) return d;
    // glibc prints the exact binary value correctly rounded. Printed to 40
    // digits, the first 20 are the exact ones unless the rounding carried
    // into them, which leaves digits 21..40 all zero; only then (or for a
    // value whose expansion really ends there) print all of them: a double
    // has at most 767 significant decimal digits.
    char buf[1100];
    int len = std::snprintf(buf, sizeof buf, "%.39e", magnitude);
    bool cut = false;
    for (int k = 2 + static_cast<int>(EXACT_DIGITS) - 1; k < 41; ++k)
        if (buf[k] != '0') cut = true;
    if (!cut) len = std::snprintf(buf, sizeof buf, "%.800e", magnitude);
    const std::string_view s(buf, static_cast<std::size_t>(len));
    const std::size_t e = s.find('e');
    d.digits.reserve(e);
    for (std::size_t k = 0; k < e && (!cut || d.digits.size() < EXACT_DIGITS); ++k)
        if (isDigit(s[k])) d.digits += s[k];
    d.exp = std::atoi(buf + e + 1) + 1;
    while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
    return d;
}

// Keeps the first `keep` digits (keep may be zero or negative), rounding the
// rest half away from zero.
void roundToDigits(Decimal& d, long keep) {
    if (keep >= static_cast<long>(d.digits.size())) return;
    if (keep < 0) {
        d.digits.clear();
        return;
    }
    const auto k = static_cast<std::size_t>(keep);
    const bool up = d.digits[k] >= '5';
    d.digits.resize(k);
    if (up) {
        std::size_t pos = k;
        while (pos > 0 && d.digits[pos - 1] == '9') --pos;
        d.digits.resize(pos);
        if (pos == 0) {
            d.digits = "1";
            ++d.exp;
        } else {
            ++d.digits[pos - 1];
        }
    }
    while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
    if (d.digits.empty()) d.exp = 0;
}

// Plain positional text with at least `minDecimals` digits after the separator.
std::string positional(const Decimal& d, int minDecimals, char sep) {
    std::string intPart, fracPart;
    if (d.exp <= 0) {
        intPart = "0";
        if (!d.digits.empty()) fracPart = std::string(static_cast<std::size_t>(-d.exp), '0') + d.digits;
    } else {
        const auto e = static_cast<std::size_t>(d.exp);
        if (d.digits.size() <= e) {
            intPart = d.digits + std::string(e - d.digits.size(), '0');
        } else {
            intPart = d.digits.substr(0, e);
            fracPart = d.digits.substr(e);
        }
        if (intPart.empty()) intPart = "0";
    }
    if (fracPart.size() < static_cast<std::size_t>(minDecimals))
        fracPart.append(static_cast<std::size_t>(minDecimals) - fracPart.size(), '0');
    return fracPart.empty() ? intPart : intPart + sep + fracPart;
}

// Mantissa with a single integer digit, 'E', exponent without '+' and leading zeros.
std::string scientific(const Decimal& d, char sep) {
    std::string s(1, d.digits[0]);
    if (d.digits.size() > 1) {
        s += sep;
        s.append(d.digits, 1);
    }
    return s + 'E' + std::to_string(d.exp - 1);
}

std::string nonFinite(double v) {
    if (std::isnan(v)) return "NAN";
    return v > 0 ? "INF" : "-INF";
}

// General layout of an already rounded value: positional while the integer
// part has at most `precision` digits and the value is at least 1E-4 in
// magnitude ("0,0001" but "1E-5").
std::string generalLayout(const Decimal& d, bool negative, int precision, char sep) {
    if (d.digits.empty()) return "0";
    const std::string body =
        (d.exp > precision || d.exp < -3) ? scientific(d, sep) : positional(d, 0, sep);
    return negative ? "-" + body : body;
}

constexpr int MAX_DIGITS = 18;  // the most the original extended-precision formatter gave

}  // namespace

std::string formatGeneral(double v, char decimalSep) {
    if (!std::isfinite(v)) return nonFinite(v);
    constexpr int GENERAL_DIGITS = 15;
    Decimal d = exactDecimal(std::fabs(v));
    roundToDigits(d, GENERAL_DIGITS);
    return generalLayout(d, std::signbit(v), GENERAL_DIGITS, decimalSep);
}

std::string formatFixed(double v, int decimals, int precision, char decimalSep) {
    if (!std::isfinite(v)) return nonFinite(v);
    decimals = std::clamp(decimals, 0, MAX_DIGITS);
    precision = std::clamp(precision, 1, MAX_DIGITS);
    Decimal d = exactDecimal(std::fabs(v));
    // At most `precision` significant digits and at most `decimals` decimals.
    roundToDigits(d, std::min<long>(precision, static_cast<long>(d.exp) + decimals));
    if (d.exp > precision) return generalLayout(d, std::signbit(v), precision, decimalSep);
    // A negative value that rounds to zero prints without its sign: "0,0".
    const bool negative = std::signbit(v) && !d.digits.empty();
    const std::string body = positional(d, decimals, decimalSep);
    return negative ? "-" + body : body;
}

}  // namespace uav
