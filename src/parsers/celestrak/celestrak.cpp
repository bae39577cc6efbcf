#include "celestrak.hpp"

#include <cstdint>

#include "../decimal.hpp"
#include "../text.hpp"

namespace tarnwick::parsers::celestrak {

namespace {

// An optional '+' then one or more ASCII digits, at most `max`.
std::optional<std::uint32_t> parse_unsigned(std::string_view s, std::uint32_t max) noexcept {
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    if (s.empty()) return std::nullopt;
    std::uint64_t v = 0;
    for (const char c : s) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + static_cast<std::uint64_t>(c - '0');
        if (v > max) return std::nullopt;  // leading zeros never reach this
    }
    return static_cast<std::uint32_t>(v);
}

std::string_view cell_at(std::span<const std::string_view> cells, std::size_t pos) noexcept {
    return pos < cells.size() ? cells[pos] : std::string_view{};
}

void split_commas(std::string_view line, std::vector<std::string_view>& cells) {
    cells.clear();
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = line.find(',', start);
        if (comma == std::string_view::npos) {
            cells.push_back(line.substr(start));
            return;
        }
        cells.push_back(line.substr(start, comma - start));
        start = comma + 1;
    }
}

// Position of `name`, or of `fallback` when the header lacks `name`.
std::optional<std::size_t> find_column(const HeaderMap& header, std::string_view name,
                                       std::string_view fallback = {}) {
    if (auto it = header.find(name); it != header.end()) return it->second;
    if (fallback.empty()) return std::nullopt;
    if (auto it = header.find(fallback); it != header.end()) return it->second;
    return std::nullopt;
}

}  // namespace

std::optional<Date> parse_date_cell(std::string_view cell) noexcept {
    const std::string_view text = trim(cell);
    const std::size_t h1 = text.find('-');
    if (h1 == std::string_view::npos) return std::nullopt;
    const std::size_t h2 = text.find('-', h1 + 1);
    if (h2 == std::string_view::npos || text.find('-', h2 + 1) != std::string_view::npos) return std::nullopt;
    const auto year = parse_unsigned(text.substr(0, h1), 2147483647u);
    const auto month = parse_unsigned(text.substr(h1 + 1, h2 - h1 - 1), 255);
    const auto day = parse_unsigned(text.substr(h2 + 1), 255);
    if (!year || !month || !day) return std::nullopt;
    if (*month < 1 || *month > 12 || *day < 1 || *day > 31) return std::nullopt;
    return Date{static_cast<std::int32_t>(*year), static_cast<std::uint8_t>(*month), static_cast<std::uint8_t>(*day)};
}

std::optional<double> parse_f64_opt(std::string_view cell) noexcept {
    const std::string_view text = trim(cell);
    if (text.empty() || text == "9999.9" || text == "99999" || text == "999.9") return std::nullopt;
    return parse_decimal(text);
}

std::optional<Array8> parse_array_8(std::span<const std::string_view> cells, const ArrayCols& positions) noexcept {
    Array8 values;
    for (std::size_t k = 0; k < 8; ++k) {
        const auto v = parse_f64_opt(cell_at(cells, positions[k]));
        if (!v) return std::nullopt;
        values[k] = *v;
    }
    return values;
}

Result<ArrayCols> resolve_array_cols(const HeaderMap& header, std::string_view prefix) {
    ArrayCols positions;
    std::string name(prefix);
    name.push_back('0');
    for (std::size_t n = 1; n <= 8; ++n) {
        name.back() = static_cast<char>('0' + n);
        const auto it = header.find(name);
        if (it == header.end()) return SpaceWeatherError::missing_header();
        positions[n - 1] = it->second;
    }
    return positions;
}

Result<std::vector<SpaceWeatherRecord>> parse(std::string_view bytes) {
    if (!is_valid_utf8(bytes)) return SpaceWeatherError::missing_header();
    LineReader lines(bytes);
    std::string_view line;
    if (!lines.next(line)) return SpaceWeatherError::missing_header();

    std::vector<std::string_view> cells;
    HeaderMap header;
    split_commas(line, cells);
    for (std::size_t pos = 0; pos < cells.size(); ++pos) {
        header.insert_or_assign(std::string(trim(cells[pos])), pos);
    }

    const auto date_col = find_column(header, "DATE");
    if (!date_col) return SpaceWeatherError::missing_header();
    const auto obs_col = find_column(header, "F10.7_OBS", "F10.7");
    if (!obs_col) return SpaceWeatherError::missing_header();
    const auto adj_col = find_column(header, "F10.7_ADJ", "F10.7A");
    if (!adj_col) return SpaceWeatherError::missing_header();
    const auto ap_col = find_column(header, "AP_AVG", "AP");
    if (!ap_col) return SpaceWeatherError::missing_header();
    auto ap_cols = resolve_array_cols(header, "AP");
    if (!ap_cols) return std::move(ap_cols).error();
    auto kp_cols = resolve_array_cols(header, "KP");
    if (!kp_cols) return std::move(kp_cols).error();

    std::vector<SpaceWeatherRecord> records;
    std::size_t index = 0;
    while (lines.next(line)) {
        const std::size_t row = index + 2;  // the header is row 1; blank lines count
        ++index;
        const std::string_view text = trim(line);
        if (text.empty()) continue;
        split_commas(text, cells);

        const auto date = parse_date_cell(cell_at(cells, *date_col));
        if (!date) return SpaceWeatherError::parse(row, "invalid date");
        SpaceWeatherRecord& rec = records.emplace_back(*date);
        if (const auto v = parse_f64_opt(cell_at(cells, *obs_col))) rec.set(Field::f10_7_obs, *v);
        if (const auto v = parse_f64_opt(cell_at(cells, *adj_col))) rec.set(Field::f10_7_adj, *v);
        if (const auto v = parse_f64_opt(cell_at(cells, *ap_col))) rec.set(Field::ap_daily, *v);
        if (const auto a = parse_array_8(cells, ap_cols.value())) rec.set_array(Field::ap_3hr, *a);
        if (const auto a = parse_array_8(cells, kp_cols.value())) rec.set_array(Field::kp_3hr, *a);
    }
    return records;
}

}  // namespace tarnwick::parsers::celestrak
