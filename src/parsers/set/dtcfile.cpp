#include <cstdint>

#include "set.hpp"
#include "set_text.hpp"

namespace tarnwick::parsers::set {

namespace {

// DTCFILE columns, 0-based byte offsets into the untrimmed line. The
// published file writes "DTC" and the year as I5 over bytes 0-7, the day
// of the year as I4 and a blank over 8-12, then the 24 hourly values as I4
// each. Bytes 0-3 carry only the tag and are never read, so the year is
// the four bytes 4-7; the day field takes the blank along.
constexpr detail::DateColumns date_columns{4, 4, 8, 5};
constexpr std::size_t hours_begin = 13;
constexpr std::size_t hour_width = 4;
constexpr std::size_t hours = 24;
constexpr std::size_t min_length = hours_begin + hours * hour_width;  // 109; later bytes are ignored

std::string_view read_dtc_line(std::string_view line, SpaceWeatherRecord& record) noexcept {
    if (const std::string_view failed = detail::read_date(line, date_columns, record.date); !failed.empty()) {
        return failed;
    }
    double sum = 0.0;
    for (std::size_t k = 0; k < hours; ++k) {
        const auto v =
            detail::read_int<std::int32_t>(detail::trim_field(line.substr(hours_begin + k * hour_width, hour_width)));
        if (!v) return "Dtc";
        sum += static_cast<double>(*v);
    }
    record.set(Field::dtc, sum / static_cast<double>(hours));
    return {};
}

}  // namespace

Result<std::vector<SpaceWeatherRecord>> parse_dtcfile(std::string_view bytes) {
    return detail::read_data_lines(bytes, min_length, read_dtc_line);
}

}  // namespace tarnwick::parsers::set
