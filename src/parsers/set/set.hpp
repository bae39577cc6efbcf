// Readers of the SET DTCFILE and SOLFSMY texts, and the text handling they share.
//
// Both are fixed-column formats: fields are byte ranges of the line as
// split (before trimming), and each field is trimmed of White_Space before
// it is read. Lines are numbered from 1, blank and comment lines included,
// and that number is the row of every error. Blank lines and lines whose
// first non-blank character is '#' are skipped. The first error ends the
// read and no partial result is returned.
//
// Records come out in file order, neither sorted nor combined. Never throws
// except std::bad_alloc; fields are views into the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "../../date.hpp"
#include "../../error.hpp"
#include "../../record.hpp"

namespace tarnwick::parsers::set {

// One record per data line with `dtc`, the mean of the line's 24 hourly values.
[[nodiscard]] Result<std::vector<SpaceWeatherRecord>> parse_dtcfile(std::string_view bytes);

// One record per data line with f10_7_jb, f10_7_jb_81c, s10_7, m10_7 and y10_7.
[[nodiscard]] Result<std::vector<SpaceWeatherRecord>> parse_solfsmy(std::string_view bytes);

// A trimmed integer field: an optional sign and one or more ASCII digits.
// The signed 32-bit form takes '+' or '-'; the unsigned 16-bit form only '+'
// (a '-' fails, even before zero). Failure is a Parse error at `row` with
// `field_name` as its message.
template <class Int>
[[nodiscard]] Result<Int> parse_int(std::string_view field, std::size_t row, std::string_view field_name);

// The two widths the formats use; no other is provided.
extern template Result<std::int32_t> parse_int<std::int32_t>(std::string_view, std::size_t, std::string_view);
extern template Result<std::uint16_t> parse_int<std::uint16_t>(std::string_view, std::size_t, std::string_view);

// Day `doy` (1-based) of `year` by the Gregorian rule for any signed year
// (year 0 is a leap year). Day 0 or past the year's end fails with
// "invalid day-of-year".
[[nodiscard]] Result<Date> doy_to_date(std::int32_t year, std::uint16_t doy, std::size_t row);

}  // namespace tarnwick::parsers::set
