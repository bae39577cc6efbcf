// Reader of the CelesTrak space-weather CSV file.
//
// `parse` turns a whole file's bytes into one record per non-blank data
// line, in file order (it neither sorts nor combines days), or returns the
// first error. It is strict about structure (the header must name every
// column used, every data line must carry a valid date) and lenient about
// values: a missing, malformed or sentinel cell only leaves its quantity
// absent. Values are kept as published: Kp stays in tenths, nothing scaled.
//
// Never throws except std::bad_alloc; cells are views into the input.
#pragma once

#include <array>
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "../../error.hpp"
#include "../../record.hpp"
#include "../decimal.hpp"
#include "../text.hpp"

namespace tarnwick::parsers::celestrak {

// Column name (trimmed header cell) to its 0-based position. A name that
// occurs more than once maps to its last occurrence.
using HeaderMap = std::map<std::string, std::size_t, std::less<>>;

using ArrayCols = std::array<std::size_t, 8>;

[[nodiscard]] Result<std::vector<SpaceWeatherRecord>> parse(std::string_view bytes);

// Positions of the columns prefix1..prefix8 ("AP" or "KP"), in that order,
// or MissingHeader for the first one the header lacks.
[[nodiscard]] Result<ArrayCols> resolve_array_cols(const HeaderMap& header, std::string_view prefix);

// A value cell: absent when blank, one of the no-data sentinels "9999.9",
// "99999" and "999.9" (exact text after trimming), or not a decimal number.
[[nodiscard]] inline std::optional<double> parse_f64_opt(std::string_view cell) noexcept {
    const std::string_view text = trim(cell);
    double v;
    const bool sentinel = text.starts_with('9') && (text == "9999.9" || text == "99999" || text == "999.9");
    if (text.empty() || sentinel || !parse_decimal_into(text, v)) {
        return std::nullopt;
    }
    return v;
}

}  // namespace tarnwick::parsers::celestrak
