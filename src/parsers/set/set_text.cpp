#include "set_text.hpp"

#include <cstdint>

#include "set.hpp"

namespace tarnwick::parsers::set {

template <class Int>
Result<Int> parse_int(std::string_view field, std::size_t row, std::string_view field_name) {
    if (const auto v = detail::read_int<Int>(detail::trim_field(field))) return *v;
    return SpaceWeatherError::parse(row, std::string(field_name));
}

template Result<std::int32_t> parse_int<std::int32_t>(std::string_view, std::size_t, std::string_view);
template Result<std::uint16_t> parse_int<std::uint16_t>(std::string_view, std::size_t, std::string_view);

Result<Date> doy_to_date(std::int32_t year, std::uint16_t doy, std::size_t row) {
    if (const auto date = detail::date_from_doy(year, doy)) return *date;
    return SpaceWeatherError::parse(row, "invalid day-of-year");
}

}  // namespace tarnwick::parsers::set
