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

#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>
#include <type_traits>

#include "swar.hpp"

namespace tarnwick::parsers {

namespace detail {

// Exact powers of ten: every one up to 1e22 is a float64 without rounding.
inline constexpr double exact_pow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                         1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// `digits` / 10^k correctly rounded, for digits of at most 2^53 and k of
// at most 22: both are exact float64 values, so one division rounds right.
inline double divided_by_pow10(std::uint64_t digits, std::size_t k) noexcept {
    return static_cast<double>(digits) / exact_pow10[k];
}

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
    // general path, inline. The CSV reader takes 1,173 instructions a row
    // with it and 1,448 without (benchmarks/README.md, "Baseline").
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
            const double v = point == nullptr
                                 ? static_cast<double>(mantissa)
                                 : detail::divided_by_pow10(mantissa, static_cast<std::size_t>(end - point - 1));
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

// An integer: an optional sign and one or more ASCII digits, nothing else. std::int32_t takes '+' or '-'; std::uint16_t
// takes only '+'. Leading zeros are free; the value is range-checked digit by digit, so any number of digits is safe.
template <class Int>
[[nodiscard]] constexpr std::optional<Int> read_int(std::string_view text) noexcept {
    static_assert(std::is_same_v<Int, std::int32_t> || std::is_same_v<Int, std::uint16_t>);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || (std::is_signed_v<Int> && text.front() == '-'))) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    // Largest magnitude: one more on the negative side of a signed type.
    const std::uint64_t limit = static_cast<std::uint64_t>(std::numeric_limits<Int>::max()) + (negative ? 1u : 0u);
    std::uint64_t v = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + static_cast<std::uint64_t>(c - '0');
        if (v > limit) return std::nullopt;
    }
    if (negative) return static_cast<Int>(-static_cast<std::int64_t>(v));
    return static_cast<Int>(v);
}

// Fixed-width fields, as the SET files write their numbers: blanks, then
// the number. The reader below takes the field's `width` bytes at `p` (1 to
// 8; `readable` bytes from `p` on may be read) as one word and checks and
// converts them without a branch per byte, whose count no predictor could
// guess. It accepts only the common forms and returns false for anything
// else, which is then left to the general path (trimming and
// parse_decimal), so that what it accepts it reads exactly as that would.
namespace detail {

// A field as one word, with the high bit of each of its bytes that is a
// digit, and of each that is a blank.
struct FieldWord {
    std::uint64_t word;
    std::uint64_t bytes;  // the field's own bytes
    std::uint64_t digits;
    std::uint64_t blanks;
};

inline FieldWord field_word(const char* p, std::size_t width, std::size_t readable) noexcept {
    const std::uint64_t w = load_field(p, width, readable);
    const std::uint64_t bytes = bytes_below(width) & bytes_of(0x80);
    return {w, bytes, digit_bytes(w) & bytes, zero_bytes(w ^ bytes_of(' ')) & bytes};
}

}  // namespace detail

// Blanks (U+0020), then digits with at most one point and at least one
// digit, up to the field's end: true and the value in `out`, correctly
// rounded like parse_decimal's (the digits make an integer below 10^8,
// exact as a float64 like 10^k for k < 8, so one division rounds right).
// The SOLFSMY reader, five such fields a line, takes 1,050 instructions a
// line with it and 1,192 without (benchmarks/README.md, "Baseline").
// Integer fields take the plain trim and read_int: read this way they
// save a few instructions but no measurable time.
[[nodiscard]] inline bool read_blank_padded_decimal(const char* p, std::size_t width, std::size_t readable,
                                                    double& out) noexcept {
    using namespace detail;
    if constexpr (!words_little_endian) return false;
    const auto [w, field, digits, blanks] = field_word(p, width, readable);
    const std::uint64_t points = zero_bytes(w ^ bytes_of('.')) & field;
    if (digits == 0 || (digits | blanks | points) != field || (points & (points - 1)) != 0) return false;
    const auto first = static_cast<std::size_t>(std::countr_zero(digits | points) / 8);
    if (blanks != (field & bytes_below(first))) return false;  // blanks only in front
    std::uint64_t d = w;
    std::size_t count = width;
    std::size_t fraction = 0;
    if (points != 0) {
        // Close the gap the point leaves: the bytes after it move down by one.
        const auto point = static_cast<std::size_t>(std::countr_zero(points) / 8);
        const std::uint64_t below = bytes_below(point);
        d = (w & below) | ((w >> 8) & ~below);
        count = width - 1;
        fraction = count - point;
    }
    out = divided_by_pow10(eight_digits((d & bytes_of(0x0F)) << (8 * (8 - count))), fraction);
    return true;
}

}  // namespace tarnwick::parsers
