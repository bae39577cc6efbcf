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

#include <optional>
#include <string_view>

namespace tarnwick::parsers {

[[nodiscard]] std::optional<double> parse_decimal(std::string_view text) noexcept;

}  // namespace tarnwick::parsers
