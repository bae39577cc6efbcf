// Readers of the SET DTCFILE and SOLFSMY texts, and the text handling they share.
//
// Both are fixed-column formats: fields are byte ranges of the line as
// split (before trimming), and each field is trimmed of White_Space before
// it is read. Lines are numbered from 1, blank and comment lines included,
// and that number is the row of every error. Blank lines and lines whose
// first non-blank character is '#' are skipped. The first error ends the
// read and no partial result is returned.
//
// Integer fields are an optional sign and ASCII digits after trimming:
// signed 32-bit for years and DTC values, unsigned 16-bit ('+' only) for
// the day of the year, which gives the date by the Gregorian rule for any
// signed year (year 0 is a leap year); day 0 or one past the year's end
// fails with "invalid day-of-year".
//
// Records come out in file order, neither sorted nor combined. Never throws
// except std::bad_alloc; fields are views into the input.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "../../error.hpp"
#include "../../record.hpp"

namespace tarnwick::parsers::set {

// One record per data line with `dtc`, the mean of the line's 24 hourly values.
[[nodiscard]] Result<std::vector<SpaceWeatherRecord>> parse_dtcfile(std::string_view bytes);

// One record per data line with f10_7_jb, f10_7_jb_81c, s10_7, m10_7 and y10_7.
[[nodiscard]] Result<std::vector<SpaceWeatherRecord>> parse_solfsmy(std::string_view bytes);

}  // namespace tarnwick::parsers::set
