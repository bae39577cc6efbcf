#include <cstdint>

#include "../decimal.hpp"
#include "set.hpp"
#include "set_text.hpp"

namespace tarnwick::parsers::set {

namespace {

// SOLFSMY columns, 0-based byte offsets into the untrimmed line. The
// published file writes the year as I6, the day of the year as I4, the
// Julian day as F12.1 (bytes 10-21) and then ten F6.1 values from byte 22:
// F10, F81c, S10, S81c, M10, M81c, Y10, Y81c. Only the daily values and
// F81c are kept; the Julian day, S81c, M81c, Y81c and anything after byte
// 63 (Y81c and the source flags) are never read.
constexpr detail::DateColumns date_columns{0, 6, 6, 4};
constexpr std::size_t value_width = 6;

struct DecimalColumn {
    std::size_t begin;
    ScalarField field;
    std::string_view name;  // the failure message
};

// In reading order: when several are bad, the first one named here is reported.
constexpr DecimalColumn decimal_columns[] = {
    {22, Field::f10_7_jb, "F10.7"}, {28, Field::f10_7_jb_81c, "F81c"}, {34, Field::s10_7, "S10.7"},
    {46, Field::m10_7, "M10.7"},    {58, Field::y10_7, "Y10.7"},
};
constexpr std::size_t min_length = 58 + value_width;  // 64

std::string_view read_solfsmy_line(std::string_view line, SpaceWeatherRecord& record) noexcept {
    if (const std::string_view failed = detail::read_date(line, date_columns, record.date); !failed.empty()) {
        return failed;
    }
    for (const DecimalColumn& column : decimal_columns) {
        // A blank field is an error like any other text that is no number:
        // this format has no marker for a missing value.
        double v;
        const char* const field = line.data() + column.begin;
        const std::size_t readable = line.size() - column.begin;
        if (!read_blank_padded_decimal(field, value_width, readable, v) &&
            !parse_decimal_into(trim(line.substr(column.begin, value_width)), v)) {
            return column.name;
        }
        record.set(column.field, v);
    }
    return {};
}

}  // namespace

Result<std::vector<SpaceWeatherRecord>> parse_solfsmy(std::string_view bytes) {
    return detail::read_data_lines(bytes, min_length, read_solfsmy_line);
}

}  // namespace tarnwick::parsers::set
