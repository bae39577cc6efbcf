// Line and field handling shared by the two SET readers. Internal to
// parsers::set; the public entry points are in set.hpp.
//
// Everything here works on views into the caller's buffer and allocates
// nothing, except the result vector and the text of an error.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "../../date.hpp"
#include "../../error.hpp"
#include "../../record.hpp"
#include "../decimal.hpp"
#include "../scan.hpp"
#include "../swar.hpp"
#include "../text.hpp"

namespace tarnwick::parsers::set::detail {

// Gregorian rule for any signed year. C++ '%' keeps the dividend's sign, so
// a negative multiple still gives 0 and every test below is exact.
[[nodiscard]] constexpr bool is_leap_year(std::int32_t year) noexcept {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// Month and day of each day of the year, as month * 256 + day: common
// years in [0], leap years in [1]; entry 0 is unused.
inline constexpr auto month_day_of_doy = [] {
    std::array<std::array<std::uint16_t, 367>, 2> table{};
    constexpr unsigned lengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    for (unsigned leap = 0; leap < 2; ++leap) {
        unsigned doy = 1;
        for (unsigned month = 1; month <= 12; ++month) {
            const unsigned length = lengths[month - 1] + (month == 2 ? leap : 0);
            for (unsigned day = 1; day <= length; ++day) {
                table[leap][doy++] = static_cast<std::uint16_t>(month << 8 | day);
            }
        }
    }
    return table;
}();

// Day `doy` of `year` in `out`; false when the year has no such day. The
// date is written straight to its place rather than returned in an
// std::optional<Date>, which would be built on the stack a byte at a time
// and read back in one load that the store buffer cannot forward. The
// month and day come from the table in one load: walking the months'
// lengths costs 24 more instructions a line for SOLFSMY and 21 for DTCFILE
// (callgrind), in a loop whose trip count follows the date.
[[nodiscard]] constexpr bool date_from_doy(std::int32_t year, std::uint16_t doy, Date& out) noexcept {
    const bool leap = is_leap_year(year);
    if (doy == 0 || doy > (leap ? 366 : 365)) return false;
    const std::uint16_t month_day = month_day_of_doy[leap ? 1 : 0][doy];
    out = Date{year, static_cast<std::uint8_t>(month_day >> 8), static_cast<std::uint8_t>(month_day & 0xFF)};
    return true;
}

// read_int of the trimmed field of `width` bytes at `begin`.
template <class Int>
[[nodiscard]] inline std::optional<Int> read_int_field(std::string_view line, std::size_t begin,
                                                       std::size_t width) noexcept {
    return read_int<Int>(trim(line.substr(begin, width)));
}

// Where a format keeps the year and the day of the year: byte offset and
// width of each field in the untrimmed line.
struct DateColumns {
    std::size_t year_begin;
    std::size_t year_width;
    std::size_t doy_begin;
    std::size_t doy_width;
};

// The date of a data line. Returns the failure message, or an empty view
// when `out` is set.
[[nodiscard]] inline std::string_view read_date(std::string_view line, const DateColumns& columns, Date& out) noexcept {
    const auto year = read_int_field<std::int32_t>(line, columns.year_begin, columns.year_width);
    if (!year) return "year";
    const auto doy = read_int_field<std::uint16_t>(line, columns.doy_begin, columns.doy_width);
    if (!doy) return "doy";
    if (!date_from_doy(*year, *doy, out)) return "invalid day-of-year";
    return {};
}

// Blank lines and lines whose first non-blank character is '#'.
[[nodiscard]] inline bool is_skipped(std::string_view line) noexcept {
    const std::string_view t = trim(line);
    return t.empty() || t.front() == '#';
}

// The reading loop of both formats: lines numbered from 1 with blank and
// comment lines counted, the length check, then `read_line(line, record)`
// on each data line. `read_line` fills the record (whose date and fields
// start empty) and returns the failure message, or an empty view. The
// first failure ends the read. The UTF-8 check runs in the same pass over
// the text, and its failure wins over any other.
template <class ReadLine>
[[nodiscard]] Result<std::vector<SpaceWeatherRecord>> read_data_lines(std::string_view bytes, std::size_t min_length,
                                                                      ReadLine read_line) {
    Scanner scan(bytes);
    const auto fail = [&](std::size_t row, std::string_view message) {
        if (!scan.valid_utf8()) return SpaceWeatherError::parse(0, "invalid utf-8");
        return SpaceWeatherError::parse(row, std::string(message));
    };
    std::vector<SpaceWeatherRecord> records;
    // Appending a copy of a blank record costs a few vector moves, where
    // constructing one in place compiles to a slow-starting rep stos.
    const SpaceWeatherRecord blank;
    std::size_t row = 0;
    for (std::size_t p = 0, lf; p < bytes.size(); p = lf + 1) {
        ++row;
        lf = scan.next_lf(p);
        // A CR that goes with its LF is not part of the line and does not
        // count towards its length; any other CR does.
        const std::size_t end = lf < bytes.size() && lf > p && bytes[lf - 1] == '\r' ? lf - 1 : lf;
        const std::string_view line = bytes.substr(p, end - p);
        if (is_skipped(line)) continue;
        if (line.size() < min_length) return fail(row, "line too short");
        if (records.capacity() == 0) reserve_lines(records, bytes.size() - p, line.size(), min_length);
        records.push_back(blank);
        if (const std::string_view message = read_line(line, records.back()); !message.empty()) {
            return fail(row, message);
        }
    }
    if (!scan.valid_utf8()) return SpaceWeatherError::parse(0, "invalid utf-8");
    return records;
}

// Fixed-offset reading of lines in the published form. A line's fields
// stand at fixed offsets, so a reader loads them as whole words from
// known places and checks them all before one branch; any line that is
// not in that form goes to the general path, field by field, which alone
// produces errors. The helpers below need at least `n` readable bytes at
// `p`.

// The `n` bytes at `p` (2, 4 or 8) as an integer, the first at the lowest bits.
template <std::size_t n>
[[nodiscard]] inline std::uint64_t load_bytes(const char* p) noexcept {
    static_assert(n == 2 || n == 4 || n == 8);
    using Word = std::conditional_t<n == 2, std::uint16_t, std::conditional_t<n == 4, std::uint32_t, std::uint64_t>>;
    Word w;
    std::memcpy(&w, p, n);
    return w;
}

// Zero when both four-byte fields of `w` (one in each half) are as the
// SET files write their integers: blanks, then one to four digits. Such a
// field is the digits after trimming, without a sign, which read_int
// reads as the number they make. Otherwise not zero.
[[nodiscard]] constexpr std::uint64_t quad_pair_faults(std::uint64_t w) noexcept {
    const std::uint64_t digits = digit_bytes(w);
    const std::uint64_t blanks = zero_bytes(w ^ bytes_of(' '));
    constexpr std::uint64_t last_bytes = 0x8000000080000000ULL;       // bytes 3 and 7
    constexpr std::uint64_t first_of_second = 0x0000008000000000ULL;  // byte 4
    return ((digits | blanks) ^ bytes_of(0x80)) | (~digits & last_bytes) | (blanks & (digits << 8) & ~first_of_second);
}

// The two numbers of a word without faults, in the low and the high half.
[[nodiscard]] constexpr std::uint64_t quad_pair_values(std::uint64_t w) noexcept {
    return four_digit_halves(w & bytes_of(0x0F));  // blanks read as zeros in front
}

}  // namespace tarnwick::parsers::set::detail
