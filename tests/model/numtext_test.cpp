#include "model/numtext.h"

#include <cfloat>
#include <limits>

#include "tests/testutil.h"

namespace {

using namespace uav;
using uav::test::errorOf;

struct ParseRow { const char* text; char sep; bool ok; double value; const char* why; };

const ParseRow PARSE_ROWS[] = {
    {"21,8", ',', true, 21.8, "a default text on the Russian setup"},
    {"21.8", '.', true, 21.8, "point locale"},
    {"21.8", ',', false, 0, "the other separator is not a separator"},
    {" \t-5,\t ", ',', true, -5.0, "blanks around, digits before the separator only"},
    {",5", ',', true, 0.5, "digits after the separator only"},
    {"+1,5E3", ',', true, 1500.0, "plus sign and upper-case exponent"},
    {"1e-400", '.', true, 0.0, "underflow gives zero"},
    {"", ',', false, 0, "empty"},
    {",", ',', false, 0, "separator without digits"},
    {"-", ',', false, 0, "sign without digits"},
    {"1e", '.', false, 0, "exponent without digits"},
    {"1,2,3", ',', false, 0, "two separators"},
    {"- 5", ',', false, 0, "blank between sign and digits"},
    {"5\n", ',', false, 0, "a line break is not a blank"},
    {"nan", '.', false, 0, "not a number"},
    {"inf", '.', false, 0, "infinity"},
    {"0x1A", '.', false, 0, "hexadecimal"},
    {"1e400", '.', false, 0, "overflow"},
    {" 1,5x ", ',', false, 0, "trailing garbage; the message keeps the text as typed"},
};

TEST(NumText, ParsesTheNumberGrammar) {
    for (const ParseRow& r : PARSE_ROWS) {
        SCOPED_TRACE(std::string(r.why) + ": '" + r.text + "'");
        double v = -123.0;
        ASSERT_EQ(tryParseNumber(r.text, r.sep, v), r.ok);
        if (r.ok) {
            EXPECT_EQ(v, r.value);
            EXPECT_EQ(parseNumber(r.text, r.sep), r.value);
        } else {
            EXPECT_EQ(v, -123.0) << "a refused text leaves the output alone";
            EXPECT_EQ(errorOf([&] { parseNumber(r.text, r.sep); }),
                      "'" + std::string(r.text) + "' is not a valid floating point value");
        }
    }
}

TEST(NumText, GeneralFormat) {
    struct Row { double v; const char* text; const char* why; };
    const Row rows[] = {
        {-0.0, "0", "negative zero has no sign"},
        {0.1 + 0.2, "0,3", "the 17th digit error disappears"},
        {100.0, "100", "no separator for whole numbers"},
        {1.0 / 3.0, "0,333333333333333", "15 significant digits"},
        {2.0 / 3.0, "0,666666666666667", "last digit rounded up"},
        {1e15, "1E15", "16 integer digits go scientific, no plus sign, no leading zeros"},
        {999999999999999.875, "1E15", "rounding carries into a 16th digit"},
        {0.0001, "0,0001", "smallest positional magnitude"},
        {0.00009, "9E-5", "below 1E-4 goes scientific"},
        {DBL_MAX, "1,79769313486232E308", "largest double"},
        {std::numeric_limits<double>::quiet_NaN(), "NAN", "NaN"},
    };
    for (const Row& r : rows) EXPECT_EQ(formatGeneral(r.v, ','), r.text) << r.why;
    EXPECT_EQ(formatGeneral(1234.5, '.'), "1234.5");
    EXPECT_EQ(formatGeneral(1.5e-7, '.'), "1.5E-7");
}

TEST(NumText, FixedFormat) {
    struct Row { double v; int decimals, precision; const char* text; const char* why; };
    const Row rows[] = {
        {1234.56, 1, 4, "1235,0", "precision limits before the decimals do"},
        {0.12345, 3, 4, "0,123", "decimals limit"},
        {-0.04, 2, 4, "-0,04", "small negative keeps its sign"},
        {-0.04, 1, 4, "0,0", "negative rounding to zero loses its sign"},
        {12345.6, 1, 4, "1,235E4", "five integer digits with precision 4"},
        {9999.96, 1, 4, "1E4", "rounding makes a fifth integer digit"},
        {99.996, 2, 4, "100,00", "carry keeps three integer digits"},
        {12.125, 2, 4, "12,13", "exact tie rounds away from zero"},
        {2.675, 2, 4, "2,67", "2.675 is 2.67499999... as a double"},
        {2.5, 0, 4, "3", "no decimals, no separator"},
        {-std::numeric_limits<double>::infinity(), 1, 4, "-INF", "negative infinity"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(formatFixed(r.v, r.decimals, r.precision, ','), r.text) << r.why << " (" << r.v << ")";
    EXPECT_EQ(formatFixed(3.14159, 2, 4, '.'), "3.14");
}

}  // namespace
