// Decimal numbers as the space-weather files write them.
//
// The accepted text, which must be matched in full with no white space:
// an optional '+' or '-', then either inf, infinity or nan in any letter
// case, or a mantissa of ASCII digits with at most one '.' and at least one
// digit, optionally followed by 'e' or 'E', an optional sign and one or more
// digits. No hexadecimal, no digit separators, no "nan(...)".
//
// The value is the float64 nearest to the decimal value, ties to even. Too
// large a magnitude gives an infinity of that sign and too small a zero;
// neither is an error. Never throws, never allocates, ignores the locale.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace tarnwick::parsers {

namespace detail {

// Exact powers of ten: every one up to 1e22 is a float64 without rounding.
inline constexpr double exact_pow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                         1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Steps over a leading '+' or '-' and tells whether it was '-'.
inline bool take_sign(const char*& p, const char* end) noexcept {
    if (p == end || (*p != '+' && *p != '-')) return false;
    return *p++ == '-';
}

// Any text: the whole grammar, with correct rounding for every length and
// exponent. parse_decimal leaves to it what its short path does not take.
[[nodiscard]] std::optional<double> parse_decimal_general(std::string_view text) noexcept;

}  // namespace detail

// parse_decimal with the value written to `out` and success returned: the
// form for reading loops, where an std::optional<double> result tends to
// pass through memory and stall the store-to-load path.
[[nodiscard]] inline bool parse_decimal_into(std::string_view text, double& out) noexcept {
    // Nearly every cell of the published files is a short fixed-point number
    // such as 72.4 or 269.3. In text of at most 15 bytes the digits make an
    // integer below 10^15, exact as a float64, and so is 10^k for k < 15, so
    // one division gives the correctly rounded value: the same bits as the
    // general path, at a fraction of its cost and inline.
    if (text.size() <= 15) {
        const char* p = text.data();
        const char* const end = p + text.size();
        const bool negative = detail::take_sign(p, end);
        const char* const first = p;
        const char* point = nullptr;
        std::uint64_t mantissa = 0;
        for (; p != end; ++p) {
            const auto digit = static_cast<unsigned char>(*p - '0');
            if (digit < 10) {
                mantissa = mantissa * 10 + digit;
            } else if (*p == '.' && point == nullptr) {
                point = p;
            } else {
                break;
            }
        }
        if (p == end && end - first > (point == nullptr ? 0 : 1)) {
            double v = static_cast<double>(mantissa);
            if (point != nullptr) v /= detail::exact_pow10[end - point - 1];
            out = negative ? -v : v;
            return true;
        }
    }
    const auto v = detail::parse_decimal_general(text);
    if (v) out = *v;
    return v.has_value();
}

[[nodiscard]] inline std::optional<double> parse_decimal(std::string_view text) noexcept {
    double v;
    if (parse_decimal_into(text, v)) return v;
    return std::nullopt;
}

}  // namespace tarnwick::parsers
