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
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <limits>
#include <string_view>
#include <type_traits>

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
    // general path, inline. The CSV reader takes 1,177 instructions a row
    // with it and 1,452 without, 2.41 ms against 2.72 on SW-All.csv (best
    // of 12 rounds of 41 runs each, taken in turns).
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

// An integer: an optional sign and one or more ASCII digits, nothing else. std::int32_t takes '+' or '-'; std::uint16_t takes only '+'.
// Leading zeros are free; the value is range-checked digit by digit, so any
// number of digits is safe.
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

constexpr std::uint64_t bytes_of(unsigned char b) noexcept { return 0x0101010101010101ULL * b; }

// The high bit of each byte that is not zero / that is zero.
constexpr std::uint64_t nonzero_bytes(std::uint64_t m) noexcept {
    return (((m & bytes_of(0x7F)) + bytes_of(0x7F)) | m) & bytes_of(0x80);
}
constexpr std::uint64_t zero_bytes(std::uint64_t m) noexcept { return nonzero_bytes(m) ^ bytes_of(0x80); }

// The high bit of each byte that is an ASCII digit.
constexpr std::uint64_t digit_bytes(std::uint64_t w) noexcept {
    const std::uint64_t high = (w & bytes_of(0xF0)) ^ bytes_of(0x30);                     // zero for 0x3_
    const std::uint64_t low = ((w & bytes_of(0x0F)) + bytes_of(0x06)) & bytes_of(0xF0);  // zero for _0.._9
    return zero_bytes(high | low);
}

// The bytes below byte n, as a mask (n from 0 to 8).
constexpr std::uint64_t bytes_below(std::size_t n) noexcept {
    return n >= 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * n)) - 1;
}

// Eight digit values 0..9, one per byte, the most significant at the
// lowest address of each four: the numbers of the two fours, in the low
// and the high half, adding neighbours in pairs and then in fours.
constexpr std::uint64_t four_digit_halves(std::uint64_t d) noexcept {
    d = (d * 10 + (d >> 8)) & 0x00FF00FF00FF00FFULL;
    return (d * 100 + (d >> 16)) & 0x0000FFFF0000FFFFULL;
}

// The same eight digits as one number.
constexpr std::uint64_t eight_digits(std::uint64_t d) noexcept {
    d = four_digit_halves(d);
    return (d * 10000 + (d >> 32)) & 0xFFFFFFFFULL;
}

// The `width` bytes at `p` in the low bytes of a word, the others zero.
// With eight bytes readable it is one load: a copy of fewer bytes into a
// word on the stack would be read back before the copy could be forwarded.
inline std::uint64_t load_field(const char* p, std::size_t width, std::size_t readable) noexcept {
    assert(width >= 1 && width <= 8 && width <= readable);
    std::uint64_t w = 0;
    if (readable >= 8) {
        std::memcpy(&w, p, 8);
        return w & bytes_below(width);
    }
    std::memcpy(&w, p, width);
    return w;
}

constexpr bool words_little_endian = std::endian::native == std::endian::little;

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
// SOLFSMY's five values a line: 1,060 instructions a line with it and
// 1,212 without, 0.87 ms against 1.00 for the published file (best of 5
// rounds of 21 runs, taken in turns). The same word-at-a-time reading of
// integer fields saved 4% of the instructions but no measurable time, and
// was dropped for the plain trim and read_int.
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
    out = static_cast<double>(eight_digits((d & bytes_of(0x0F)) << (8 * (8 - count))));
    if (fraction != 0) out /= exact_pow10[fraction];
    return true;
}

}  // namespace tarnwick::parsers
