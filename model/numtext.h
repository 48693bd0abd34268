// Number texts: numbers typed into fields or stored in files, parsed and
// written with the decimal separator of the user's locale ('.' or ',').
#pragma once

#include <string>
#include <string_view>

namespace uav {

// Parses a decimal floating-point text: optional blanks, optional sign, digits
// with at most one decimal separator (digits may be on one side only, as "5,"
// or ",5"), an optional exponent (E or e, optional sign, digits), optional
// blanks, nothing else. No thousands separators, no "nan"/"inf", no hex.
// A result that is not finite (overflow) is refused too; a value too small
// for a double underflows to zero.
// Throws SimError "'<text>' is not a valid floating point value".
double parseNumber(std::string_view text, char decimalSep);

// Non-throwing variant for live checks.
bool tryParseNumber(std::string_view text, char decimalSep, double& out);

// Rewrites a default text written with a comma ("21,8") with the given
// separator, so the program's own defaults parse in every locale.
std::string localizedDefault(std::string_view commaText, char decimalSep);

// Both formatters round the exact decimal value of the double half away from
// zero ("12,125" with two decimals gives "12,13"), and write NaN and the
// infinities as "NAN", "INF" and "-INF".

// General format: the shortest text with up to 15 significant digits
// (0.1 -> "0,1", 1e20 -> "1E20", 1e-5 -> "1E-5", 100 -> "100"). Positional
// while the rounded value is below 1E15 and at least 1E-4 in magnitude;
// otherwise a mantissa, 'E' and the exponent ('-' only when negative, no
// leading zeros).
std::string formatGeneral(double v, char decimalSep);

// Fixed format: `decimals` digits after the separator, the value first rounded
// to at most `precision` significant digits (1234.56 with 1 decimal,
// precision 4 -> "1235,0"). A value with more than `precision` integer digits
// is written in general format with `precision` significant digits instead
// ("1,235E4"). A negative value that rounds to zero loses its sign ("0,0").
// `decimals` is taken in 0..18 and `precision` in 1..18.
std::string formatFixed(double v, int decimals, int precision, char decimalSep);

}  // namespace uav
