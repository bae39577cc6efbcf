#include "decimal.hpp"

#include <charconv>
#include <cstdint>
#include <limits>

namespace tarnwick::parsers {

namespace {

constexpr bool is_digit(char c) noexcept {
    return c >= '0' && c <= '9';
}

constexpr char lower(char c) noexcept {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equals_nocase(std::string_view s, std::string_view word) noexcept {
    if (s.size() != word.size()) return false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (lower(s[i]) != word[i]) return false;
    }
    return true;
}

}  // namespace

std::optional<double> detail::parse_decimal_general(std::string_view text) noexcept {
    const char* p = text.data();
    const char* const end = p + text.size();
    const bool negative = take_sign(p, end);
    const char* const body = p;  // what follows the sign
    if (p == end) return std::nullopt;

    if (!is_digit(*p) && *p != '.') {
        const std::string_view word(p, static_cast<std::size_t>(end - p));
        double v;
        if (equals_nocase(word, "nan")) {
            v = std::numeric_limits<double>::quiet_NaN();
        } else if (equals_nocase(word, "inf") || equals_nocase(word, "infinity")) {
            v = std::numeric_limits<double>::infinity();
        } else {
            return std::nullopt;
        }
        return negative ? -v : v;
    }

    // Mantissa. Accumulate up to 19 significant digits for the fast path and
    // note where the first significant digit stands relative to the point.
    std::uint64_t mantissa = 0;
    int significant = 0;        // significant digits seen (leading zeros excluded)
    std::int64_t scale = 0;     // power of ten to apply to `mantissa`
    std::int64_t lead_pos = 0;  // decimal exponent of the first significant digit, for range faults
    bool any_digit = false;
    bool truncated = false;  // digits beyond what `mantissa` holds
    bool seen_point = false;
    std::int64_t int_digits = 0;  // significant digits before the point
    std::int64_t frac_zeros = 0;  // zeros after the point before the first significant digit
    for (; p != end; ++p) {
        const char c = *p;
        if (is_digit(c)) {
            any_digit = true;
            if (significant == 0 && c == '0') {
                if (seen_point) {  // 0.05 is 5e-2: a zero after the point still shifts the value
                    ++frac_zeros;
                    --scale;
                }
                continue;
            }
            if (!seen_point) ++int_digits;
            if (significant < 19) {
                mantissa = mantissa * 10 + static_cast<std::uint64_t>(c - '0');
                if (seen_point) --scale;
            } else {
                if (c != '0') truncated = true;
                if (!seen_point) ++scale;
            }
            ++significant;
        } else if (c == '.' && !seen_point) {
            seen_point = true;
        } else {
            break;
        }
    }
    if (!any_digit) return std::nullopt;

    std::int64_t exponent = 0;
    if (p != end) {
        if (*p != 'e' && *p != 'E') return std::nullopt;
        ++p;
        bool exp_negative = false;
        if (p != end && (*p == '+' || *p == '-')) {
            exp_negative = *p == '-';
            ++p;
        }
        if (p == end) return std::nullopt;
        for (; p != end; ++p) {
            if (!is_digit(*p)) return std::nullopt;
            // Saturate: any exponent this large already decides inf or zero.
            if (exponent < 100000000) exponent = exponent * 10 + (*p - '0');
        }
        if (exp_negative) exponent = -exponent;
    }

    if (mantissa == 0) return negative ? -0.0 : 0.0;

    // Clinger's fast path: both the mantissa and the power of ten are exact
    // float64 values, so one correctly rounded operation gives the answer.
    const std::int64_t e10 = scale + exponent;
    if (!truncated && mantissa <= (std::uint64_t{1} << 53) && e10 >= -22 && e10 <= 22) {
        const double v = e10 < 0 ? divided_by_pow10(mantissa, static_cast<std::size_t>(-e10))
                                 : static_cast<double>(mantissa) * exact_pow10[e10];
        return negative ? -v : v;
    }

    // The grammar is checked; the standard parser now does the rounding. It
    // takes '-' but not '+', which is why it starts after the sign.
    double v = 0.0;
    const auto r = std::from_chars(body, end, v, std::chars_format::general);
    if (r.ec == std::errc::result_out_of_range) {
        lead_pos = seen_point && int_digits == 0 ? -frac_zeros - 1 : int_digits - 1;
        v = lead_pos + exponent > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (r.ec != std::errc{} || r.ptr != end) {
        return std::nullopt;  // cannot happen after the grammar check
    }
    return negative ? -v : v;
}

}  // namespace tarnwick::parsers
