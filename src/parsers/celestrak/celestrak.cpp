#include "celestrak.hpp"

#include <algorithm>
#include <array>
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

// parse_f64_opt with the value written to `out` and presence returned.
inline bool read_value(std::string_view cell, double& out) noexcept {
    const std::string_view text = trim(cell);
    if (text.empty() || text == "9999.9" || text == "99999" || text == "999.9") return false;
    return parse_decimal_into(text, out);
}

// What a column feeds, by position: nothing, the date, one of the three
// scalars in the order of `scalar_fields`, or element 0..7 of ap_3hr and
// then of kp_3hr. The twenty resolved positions are distinct, since each
// is the position of a different name.
constexpr std::uint8_t no_target = 0;
constexpr std::uint8_t date_target = 1;
constexpr std::uint8_t first_scalar_target = 2;
constexpr std::uint8_t first_array_target = 5;
constexpr Field scalar_fields[] = {Field::f10_7_obs, Field::f10_7_adj, Field::ap_daily};

std::vector<std::uint8_t> column_targets(std::size_t date, std::size_t obs, std::size_t adj, std::size_t ap_daily,
                                         const ArrayCols& ap, const ArrayCols& kp) {
    std::size_t last = std::max({date, obs, adj, ap_daily});
    for (std::size_t k = 0; k < 8; ++k) last = std::max({last, ap[k], kp[k]});
    std::vector<std::uint8_t> targets(last + 1, no_target);
    targets[date] = date_target;
    targets[obs] = first_scalar_target;
    targets[adj] = first_scalar_target + 1;
    targets[ap_daily] = first_scalar_target + 2;
    for (std::size_t k = 0; k < 8; ++k) {
        targets[ap[k]] = static_cast<std::uint8_t>(first_array_target + k);
        targets[kp[k]] = static_cast<std::uint8_t>(first_array_target + 8 + k);
    }
    return targets;
}

// The comma that ends the cell starting at `p`, or `end`.
const char* cell_end(const char* p, const char* end) noexcept {
    while (p != end && *p != ',') ++p;
    return p;
}

// Reads the value cell that starts at `p` and returns where it stops: at
// its comma, or at `end`. `out` gets the value and the result of
// parse_f64_opt tells whether there is one. The cells of the published
// files are bare digits with at most one point, read here in the same pass
// that finds the comma; anything else (blanks, a sign, an exponent, a word,
// more than 15 bytes, a sentinel) goes through parse_f64_opt's own path.
const char* read_value_cell(const char* p, const char* end, double& out, bool& present) noexcept {
    const char* const start = p;
    std::uint64_t mantissa = 0;
    while (p != end && static_cast<unsigned char>(*p - '0') < 10) {
        mantissa = mantissa * 10 + static_cast<unsigned char>(*p - '0');
        ++p;
    }
    std::ptrdiff_t digits = p - start;
    std::ptrdiff_t fraction = 0;
    if (p != end && *p == '.') {
        const char* const point = ++p;
        while (p != end && static_cast<unsigned char>(*p - '0') < 10) {
            mantissa = mantissa * 10 + static_cast<unsigned char>(*p - '0');
            ++p;
        }
        fraction = p - point;
        digits += fraction;
    }
    if ((p == end || *p == ',') && digits != 0 && digits < 15 && mantissa != 9999 && mantissa != 99999) {
        // At most 14 digits: exact as a float64, like 10^k for k < 15, so one
        // division rounds correctly, as parse_decimal would.
        out = static_cast<double>(mantissa) / detail::exact_pow10[fraction];
        present = true;
        return p;
    }
    p = cell_end(p, end);
    present = read_value(std::string_view(start, static_cast<std::size_t>(p - start)), out);
    return p;
}

// Every published date is written YYYY-MM-DD: such a cell is read in
// place, in the ten bytes at `p`, with the checks and the result of
// parse_date_cell's general path.
enum class IsoDate { other_form, valid, invalid };

IsoDate read_iso_date(const char* p, Date& out) noexcept {
    if (p[4] != '-' || p[7] != '-') return IsoDate::other_form;
    constexpr std::size_t digit_at[] = {0, 1, 2, 3, 5, 6, 8, 9};
    unsigned d[10];
    bool digits = true;
    for (const std::size_t i : digit_at) {
        d[i] = static_cast<unsigned char>(p[i] - '0');
        digits = digits && d[i] < 10;
    }
    if (!digits) return IsoDate::other_form;
    const unsigned month = d[5] * 10 + d[6];
    const unsigned day = d[8] * 10 + d[9];
    if (month < 1 || month > 12 || day < 1 || day > 31) return IsoDate::invalid;
    out = Date{static_cast<std::int32_t>(d[0] * 1000 + d[1] * 100 + d[2] * 10 + d[3]), static_cast<std::uint8_t>(month),
               static_cast<std::uint8_t>(day)};
    return IsoDate::valid;
}

// The cells of one trimmed data line, 0 up to the last used column, each
// read into the field its column feeds. Returns the date, or nothing when
// the date cell is missing or invalid.
std::optional<Date> read_data_line(std::string_view text, const std::vector<std::uint8_t>& targets,
                                   SpaceWeatherRecord& rec) noexcept {
    std::optional<Date> date;
    // The values by target (the three scalars, then ap 1..8 and kp 1..8),
    // and one bit per value read.
    std::array<double, 19> values;
    std::uint32_t seen = 0;
    const char* p = text.data();
    const char* const end = p + text.size();
    const std::size_t last = targets.size() - 1;
    for (std::size_t col = 0;; ++col) {
        const std::uint8_t target = targets[col];
        const char* stop;
        if (target == no_target) {
            stop = cell_end(p, end);
        } else if (target == date_target) {
            Date d;
            IsoDate form = IsoDate::other_form;
            if (end - p >= 10 && (end - p == 10 || p[10] == ',')) form = read_iso_date(p, d);
            if (form != IsoDate::other_form) {
                stop = p + 10;
                if (form == IsoDate::valid) date = d;
            } else {
                stop = cell_end(p, end);
                date = parse_date_cell(std::string_view(p, static_cast<std::size_t>(stop - p)));
            }
        } else {
            const unsigned slot = target - first_scalar_target;
            bool has_value;
            stop = read_value_cell(p, end, values[slot], has_value);
            seen |= has_value ? 1u << slot : 0u;
        }
        if (stop == end || col == last) break;
        p = stop + 1;
    }
    for (unsigned i = 0; i < 3; ++i) {
        if ((seen >> i) & 1u) rec.set(scalar_fields[i], values[i]);
    }
    constexpr std::uint32_t eight = 0xFF;
    if (((seen >> 3) & eight) == eight) {
        Array8 a;
        std::copy_n(values.begin() + 3, 8, a.begin());
        rec.set_array(Field::ap_3hr, a);
    }
    if (((seen >> 11) & eight) == eight) {
        Array8 a;
        std::copy_n(values.begin() + 11, 8, a.begin());
        rec.set_array(Field::kp_3hr, a);
    }
    return date;
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
    if (cell.size() == 10) {
        Date d;
        const IsoDate form = read_iso_date(cell.data(), d);
        if (form == IsoDate::valid) return d;
        if (form == IsoDate::invalid) return std::nullopt;
    }
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
    double v;
    if (read_value(cell, v)) return v;
    return std::nullopt;
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

    // Each line is read in one pass over its cells, up to the last column
    // used; every cell goes straight to the field its column feeds.
    const std::vector<std::uint8_t> targets =
        column_targets(*date_col, *obs_col, *adj_col, *ap_col, ap_cols.value(), kp_cols.value());

    std::vector<SpaceWeatherRecord> records;
    // At most one record per line after the header, and a record's line
    // holds at least a date "Y-M-D" and its LF: sized once, never grown.
    records.reserve(std::min(count_lines(bytes) - 1, (bytes.size() + 1) / 6));
    std::size_t index = 0;
    const SpaceWeatherRecord blank;
    while (lines.next(line)) {
        const std::size_t row = index + 2;  // the header is row 1; blank lines count
        ++index;
        const std::string_view text = trim(line);
        if (text.empty()) continue;

        records.push_back(blank);
        SpaceWeatherRecord& rec = records.back();
        const auto date = read_data_line(text, targets, rec);
        if (!date) return SpaceWeatherError::parse(row, "invalid date");
        rec.date = *date;
    }
    return records;
}

}  // namespace tarnwick::parsers::celestrak
