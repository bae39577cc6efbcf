// Decimal number syntax and correctly rounded values.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <string_view>

#include "parsers/decimal.hpp"
#include "parsers/text.hpp"
#include "test_support.hpp"

namespace tarnwick::parsers {
namespace {

using test::bits;

struct SyntaxCase {
    std::string_view text;
    bool accepted;
    const char* why;
};

TEST(Decimal, Syntax) {
    const SyntaxCase cases[] = {
        {"7", true, "digits only"},
        {"7.", true, "point with no fraction digits"},
        {".5", true, "point with no integer digits"},
        {"7.5", true, "both"},
        {"+1e2", true, "plus sign and exponent"},
        {"7.24E+01", true, "capital E with signed exponent"},
        {"1e-0", true, "negative zero exponent"},
        {"007", true, "leading zeros"},
        {"-.5e-3", true, "every optional part at once"},
        {"inf", true, "word"},
        {"-INFINITY", true, "long word, upper case, with sign"},
        {"+nAn", true, "mixed case"},
        {"InFiNiTy", true, "mixed case long word"},

        {"", false, "empty"},
        {"+", false, "sign alone"},
        {".", false, "lone point"},
        {"-.", false, "signed lone point"},
        {".e5", false, "point and exponent but no digit"},
        {"1e", false, "exponent letter without digits"},
        {"1e+", false, "exponent sign without digits"},
        {"e5", false, "exponent without mantissa"},
        {"1,5", false, "comma as decimal mark"},
        {"1 5", false, "inner space"},
        {"1_000", false, "digit separator"},
        {"1.2.3", false, "two points"},
        {"1e5.5", false, "fractional exponent"},
        {"1e5e5", false, "two exponents"},
        {"1d5", false, "other exponent letter"},
        {"0x1A", false, "hexadecimal"},
        {"0x1p3", false, "hexadecimal float"},
        {"nan(1)", false, "NaN payload"},
        {"infin", false, "partial word"},
        {"infinityy", false, "word with extra letter"},
        {"na", false, "short word"},
        {" 1", false, "leading blank"},
        {"1 ", false, "trailing blank"},
        {"1\n", false, "trailing newline"},
        {"++1", false, "two signs"},
        {"+-1", false, "mixed signs"},
        {"1e++5", false, "two exponent signs"},
        {"-", false, "lone minus"},
        {"\xEF\xBC\x91", false, "fullwidth digit one"},
        {std::string_view("1\0", 2), false, "trailing NUL"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parse_decimal(c.text).has_value(), c.accepted) << test::hex(c.text) << ": " << c.why;
    }
}

// ---------------------------------------------------------------------------
// Values

// Decimal digits of n * m, for building exact boundary values in full.
std::string times(const std::string& digits, std::uint64_t m) {
    std::string out(digits.size(), '0');
    std::uint64_t carry = 0;
    for (std::size_t i = digits.size(); i-- > 0;) {
        const std::uint64_t v = static_cast<std::uint64_t>(digits[i] - '0') * m + carry;
        out[i] = static_cast<char>('0' + v % 10);
        carry = v / 10;
    }
    return carry == 0 ? out : std::to_string(carry) + out;
}

std::string power(std::uint64_t base, int n) {
    std::string s = "1";
    for (int i = 0; i < n; ++i) s = times(s, base);
    return s;
}

constexpr double dbl_max = std::numeric_limits<double>::max();
constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double min_subnormal = 0x1p-1074;

// 2^1024 - 2^970: halfway between the largest double and 2^1024.
const std::string overflow_halfway = times(power(2, 970), (std::uint64_t{1} << 54) - 1);
// 2^-1075 = 5^1075 * 10^-1075: halfway between 0 and the smallest subnormal.
const std::string underflow_halfway = power(5, 1075) + "e-1075";

struct ValueCase {
    std::string text;
    double value;
    const char* why;
};

TEST(Decimal, Values) {
    const ValueCase cases[] = {
        {"7", 7.0, "integer"},
        {"7.", 7.0, "trailing point"},
        {".5", 0.5, "leading point"},
        {"0.05", 0.05, "zero after the point before the first digit"},
        {"00.001", 0.001, "leading zeros on both sides of the point"},
        {"0.000000000000000000000000000001", 1e-30, "thirty places"},
        {"7.24E+01", 72.4, "signed exponent, inexact"},
        {"0.1", 0.1, "inexact fraction"},
        {"-1", -1.0, "negative"},
        {"1e3", 1000.0, "exponent"},
        {"1e22", 1e22, "largest exact power of ten"},
        {"1e23", 0x1.52d02c7e14af6p+76, "first inexact power of ten"},
        {"123456789012345678", 123456789012345680.0, "18 digits, above 2^53"},
        {"9007199254740992", 0x1p53, "2^53, exact"},
        {"9007199254740993", 0x1p53, "2^53 + 1 is a tie: to even, down"},
        {"9007199254740995", 0x1.0000000000002p53, "2^53 + 3 is a tie: to even, up"},
        {"9007199254740993.0000000000000001", 0x1.0000000000001p53, "just above the tie goes up"},
        {"9007199254740992.9999999999999999", 0x1p53, "just below the tie goes down"},
        {"9007199254740993." + std::string(9982, '0') + "1", 0x1.0000000000001p53,
         "10,000 digits: the last one breaks the tie"},
        {"9007199254740993." + std::string(9983, '0'), 0x1p53, "10,000 digits, all zeros after the tie"},
        {"0." + std::string(9999, '0') + "1e10000", 1.0, "10,000 leading zeros taken back by the exponent"},
        {"1" + std::string(400, '0') + "e-400", 1.0, "400 trailing zeros taken back by the exponent"},
        {"1.7976931348623157e308", dbl_max, "largest double"},
        {"1.7976931348623158079e308", dbl_max, "just below the overflow halfway point"},
        {overflow_halfway, inf, "exactly halfway to 2^1024: ties to even overflow"},
        {"-" + overflow_halfway, -inf, "negative overflow halfway"},
        {"1.8e308", inf, "beyond the range"},
        {"-1.8e308", -inf, "beyond the range, negative"},
        {"1e99999999999999", inf, "huge exponent"},
        {"-1e99999999999999", -inf, "huge exponent, negative"},
        {"0.0001e-99999999999", 0.0, "huge negative exponent"},
        {"1e-99999999999", 0.0, "huge negative exponent"},
        {"-1e-99999999999", -0.0, "underflow keeps the sign"},
        {"2.2250738585072011e-308", 0x0.fffffffffffffp-1022, "largest subnormal"},
        {"2.2250738585072012e-308", 0x1p-1022, "smallest normal"},
        {"4.9406564584124654e-324", min_subnormal, "smallest subnormal"},
        {"1e-310", 0x0.012688b70e62bp-1022, "subnormal"},
        {"2.4703282292062327e-324", 0.0, "below half the smallest subnormal"},
        {underflow_halfway, 0.0, "exactly half the smallest subnormal: ties to even, zero"},
        {power(5, 1075) + "1e-1076", min_subnormal, "just above half the smallest subnormal"},
        {"2.4703282292062328e-324", min_subnormal, "above half the smallest subnormal"},
        {"0", 0.0, "zero"},
        {"-0", -0.0, "negative zero"},
        {"-0.000e5", -0.0, "negative zero with exponent"},
        {"0e999999999", 0.0, "zero with a huge exponent"},
        {"inf", inf, "infinity"},
        {"-Infinity", -inf, "negative infinity"},
    };
    for (const auto& c : cases) {
        const auto v = parse_decimal(c.text);
        ASSERT_TRUE(v.has_value()) << c.why;
        EXPECT_EQ(bits(*v), bits(c.value)) << c.why << ": got " << *v << ", want " << c.value;
    }
}

TEST(Decimal, NanIsAValue) {
    for (const char* text : {"nan", "NaN", "+NAN", "-nan"}) {
        const auto v = parse_decimal(text);
        ASSERT_TRUE(v.has_value()) << text;
        EXPECT_TRUE(std::isnan(*v)) << text;
    }
}

// Random numbers of 1 to 25 significant digits, with leading zeros, a point
// anywhere and an exponent, compared bitwise with the C library's correctly
// rounded strtod. Up to 15 digits and small exponents take the exact fast
// path; the rest go the long way, so both and the switch between them are
// covered.
TEST(Decimal, AgreesWithStrtod) {
    std::mt19937_64 rng(7243);
    for (int round = 0; round < 300000; ++round) {
        std::string text;
        if (rng() % 4 == 0) text += rng() % 2 ? "-" : "+";
        std::string digits(rng() % 4 == 0 ? rng() % 25 : 0, '0');
        const std::size_t significant = 1 + rng() % 25;
        for (std::size_t i = 0; i < significant; ++i) digits += static_cast<char>('0' + rng() % 10);
        if (rng() % 3 == 0) digits.append(rng() % 8, '0');
        if (rng() % 4 != 0) digits.insert(rng() % (digits.size() + 1), 1, '.');
        text += digits;
        if (rng() % 2 == 0) {
            text += rng() % 2 ? 'e' : 'E';
            text += std::to_string(static_cast<int>(rng() % 80) - 40);
        }
        const auto v = parse_decimal(text);
        ASSERT_TRUE(v.has_value()) << text;
        const double expected = std::strtod(text.c_str(), nullptr);
        ASSERT_EQ(bits(*v), bits(expected)) << "seed 7243, round " << round << ": " << text;
    }
}

// Every text of one to eight bytes over a small alphabet that reaches each
// branch of the fast paths (blank, digits, point, signs, exponent, and a
// byte no path accepts), at every position: a fast path may decline a
// text, but what it accepts it reads as the general path does, bit for bit.
TEST(FastPaths, AgreeWithTheGeneralPathOnEveryShortText) {
    constexpr std::string_view alphabet = " 09.-+ex";
    for (std::size_t width = 1; width <= 8; ++width) {
        std::string text(width, ' ');
        std::size_t count = 1;
        for (std::size_t i = 0; i < width; ++i) count *= alphabet.size();
        for (std::size_t n = 0; n < count; ++n) {
            for (std::size_t i = 0, m = n; i < width; ++i, m /= alphabet.size())
                text[i] = alphabet[m % alphabet.size()];
            const auto general = detail::parse_decimal_general(text);
            double v = 0;
            ASSERT_EQ(parse_decimal_into(text, v), general.has_value()) << text;
            if (general) {
                ASSERT_EQ(bits(v), bits(*general)) << text;
            }

            const std::string_view trimmed = trim(text);
            if (read_blank_padded_decimal(text.data(), width, width, v)) {
                const auto d = detail::parse_decimal_general(trimmed);
                ASSERT_TRUE(d.has_value()) << text;
                ASSERT_EQ(bits(v), bits(*d)) << text;
            }
        }
    }
}

}  // namespace
}  // namespace tarnwick::parsers
