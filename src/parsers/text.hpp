// Text handling shared by every reader: White_Space, and sizing the
// result by lines. (UTF-8 and line ends are found by the structural pass,
// scan.hpp.) Nothing here throws but std::bad_alloc; views point into the input.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string_view>
#include <vector>

namespace tarnwick::parsers {

// The ASCII White_Space characters: U+0009..U+000D and U+0020.
constexpr bool is_ascii_space(unsigned char b) noexcept {
    return b == ' ' || (b >= 0x09 && b <= 0x0D);
}

// Length in bytes of the Unicode White_Space character at the start (or at
// the end) of `s`, or 0 if there is none. White_Space is U+0009..U+000D,
// U+0020, U+0085, U+00A0, U+1680, U+2000..U+200A, U+2028, U+2029, U+202F,
// U+205F and U+3000; it is not isspace(): U+001C..U+001F are not in it.
// Works on any bytes, so a field cut through a multi-byte character is safe.
[[nodiscard]] std::size_t leading_space(std::string_view s) noexcept;
[[nodiscard]] std::size_t trailing_space(std::string_view s) noexcept;

// Removes White_Space at both ends; inner characters stay.
[[nodiscard]] inline std::string_view trim(std::string_view s) noexcept {
    // ASCII at the ends is by far the common case: printable ends return
    // at once and ASCII blanks are stepped over without a call. Only bytes
    // from 0x80, which may start or end a multi-byte space, take the full
    // test.
    if (!s.empty()) {
        const auto front = static_cast<unsigned char>(s.front());
        const auto back = static_cast<unsigned char>(s.back());
        if (front > 0x20 && front < 0x80 && back > 0x20 && back < 0x80) return s;
    }
    while (!s.empty()) {
        const auto c = static_cast<unsigned char>(s.front());
        std::size_t n = is_ascii_space(c) ? 1 : 0;
        if (n == 0 && (c < 0x80 || (n = leading_space(s)) == 0)) break;
        s.remove_prefix(n);
    }
    while (!s.empty()) {
        const auto c = static_cast<unsigned char>(s.back());
        std::size_t n = is_ascii_space(c) ? 1 : 0;
        if (n == 0 && (c < 0x80 || (n = trailing_space(s)) == 0)) break;
        s.remove_suffix(n);
    }
    return s;
}

[[nodiscard]] inline bool is_blank(std::string_view s) noexcept {
    return trim(s).empty();
}

// Reserves room for the records of `left` bytes of lines like the first
// data line (`length` bytes before its LF), with a quarter to spare, but
// never for more lines than fit at `min_length` bytes each (shorter than
// any published line). Published files are read into this one allocation;
// a file of other lines grows the vector geometrically, and blank lines,
// which make no record, never reserve room by their number.
template <class T>
void reserve_lines(std::vector<T>& records, std::size_t left, std::size_t length, std::size_t min_length) {
    const std::size_t expected = left / (length + 1);
    records.reserve(std::min(expected + expected / 4 + 16, left / (min_length + 1) + 1));
}

}  // namespace tarnwick::parsers
