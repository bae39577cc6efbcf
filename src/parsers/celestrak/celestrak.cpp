#include "celestrak.hpp"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstdint>

#include "../decimal.hpp"
#include "../kernel.hpp"
#include "../scan.hpp"
#include "../text.hpp"

namespace tarnwick::parsers::celestrak {

namespace {

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

// Every published date is written YYYY-MM-DD: such a cell, of ten bytes,
// is read in place with the checks and the result of read_date_cell's
// general path.
enum class IsoDate { other_form, valid, invalid };

IsoDate read_iso_date(std::string_view cell, Date& out) noexcept {
    assert(cell.size() == 10);
    const char* const p = cell.data();
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

// Where the eight columns of ap_3hr or kp_3hr stand. They usually stand
// side by side in order, as published, and are then read at once.
struct Group {
    ArrayCols cols;
    bool side_by_side;
    std::size_t last;  // the largest position
};

Group make_group(const ArrayCols& cols) {
    bool side_by_side = true;
    for (std::size_t k = 1; k < 8; ++k) side_by_side = side_by_side && cols[k] == cols[0] + k;
    return {cols, side_by_side, *std::max_element(cols.begin(), cols.end())};
}

// Where the used columns stand, by position.
struct Layout {
    std::size_t date;
    std::array<std::size_t, 3> scalars;  // in the order of scalar_fields
    Group ap, kp;
    std::size_t cells;  // cells a line is split into: through the last used column
    decltype(Kernels::read_small_int_cells) read_group_cells;  // for groups side by side
};

constexpr ScalarField scalar_fields[] = {Field::f10_7_obs, Field::f10_7_adj, Field::ap_daily};

Layout make_layout(std::size_t date, std::size_t obs, std::size_t adj, std::size_t ap_daily, const ArrayCols& ap,
                   const ArrayCols& kp) {
    Layout layout{date, {obs, adj, ap_daily}, make_group(ap), make_group(kp), 0, kernels().read_small_int_cells};
    layout.cells = std::max({date, obs, adj, ap_daily, layout.ap.last, layout.kp.last}) + 1;
    return layout;
}

// A date cell "Y-M-D": year an optional '+' and digits up to 2147483647,
// month 1..12, day 1..31, each with an optional '+' and leading zeros. The
// day is not checked against the month. True and the date in `out`.
//
// Written to the record rather than returned as an std::optional<Date>,
// which would be built on the stack a byte at a time and read back whole:
// the store buffer cannot forward that, and every row would stall. The
// CSV reader takes 1,173 instructions a row so and 1,183 through an
// optional (benchmarks/README.md, "Baseline").
bool read_date_cell(std::string_view cell, Date& out) noexcept {
    if (cell.size() == 10) {
        const IsoDate form = read_iso_date(cell, out);
        if (form != IsoDate::other_form) return form == IsoDate::valid;
    }
    const std::string_view text = trim(cell);
    const std::size_t h1 = text.find('-');
    if (h1 == std::string_view::npos) return false;
    const std::size_t h2 = text.find('-', h1 + 1);
    if (h2 == std::string_view::npos || text.find('-', h2 + 1) != std::string_view::npos) return false;
    // No part holds a '-', which separates them: the year cannot be
    // negative, and a month or day past 255 is out of range like 13 or 32.
    const auto year = read_int<std::int32_t>(text.substr(0, h1));
    const auto month = read_int<std::uint16_t>(text.substr(h1 + 1, h2 - h1 - 1));
    const auto day = read_int<std::uint16_t>(text.substr(h2 + 1));
    if (!year || !month || !day) return false;
    if (*month < 1 || *month > 12 || *day < 1 || *day > 31) return false;
    out = Date{static_cast<std::int32_t>(*year), static_cast<std::uint8_t>(*month), static_cast<std::uint8_t>(*day)};
    return true;
}

// Reads the data line that starts at `start` (not blank), each used cell
// into its field; `ends` has room for layout.cells + 1 offsets. Returns
// the offset of the LF that ends the line, or the text's size; `dated`
// tells whether the date cell was valid.
std::size_t read_data_line(Scanner& scan, const char* text, std::size_t start, const Layout& layout, std::size_t* ends,
                           SpaceWeatherRecord& rec, bool& dated) noexcept {
    const std::size_t cells = scan.line_ends(start, layout.cells, ends);
    const auto cell = [&](std::size_t c) { return std::string_view(text + ends[c] + 1, ends[c + 1] - ends[c] - 1); };
    dated = layout.date < cells && read_date_cell(cell(layout.date), rec.date);
    for (std::size_t i = 0; i < 3; ++i) {
        if (layout.scalars[i] >= cells) continue;
        if (const auto v = parse_f64_opt(cell(layout.scalars[i]))) rec.set(scalar_fields[i], *v);
    }
    // A group is present when all eight of its cells are values; a line
    // that ends inside it leaves it absent.
    const auto read_group = [&](ArrayField f, const Group& group) {
        if (group.last >= cells) return;
        rec.fill_array(f, [&](Array8& a) {
            if (group.side_by_side && layout.read_group_cells(text, ends + group.cols[0], a.data())) {
                return true;
            }
            for (std::size_t k = 0; k < 8; ++k) {
                const auto v = parse_f64_opt(cell(group.cols[k]));
                if (!v) return false;
                a[k] = *v;
            }
            return true;
        });
    };
    read_group(Field::ap_3hr, layout.ap);
    read_group(Field::kp_3hr, layout.kp);
    return scan.next_lf(ends[cells]);  // the last end read, or the LF after it
}

// Position of `name`, or of `fallback` when the header lacks `name`.
std::optional<std::size_t> find_column(const HeaderMap& header, std::string_view name, std::string_view fallback = {}) {
    if (auto it = header.find(name); it != header.end()) return it->second;
    if (fallback.empty()) return std::nullopt;
    if (auto it = header.find(fallback); it != header.end()) return it->second;
    return std::nullopt;
}

}  // namespace

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
    Scanner scan(bytes);
    const char* const text = bytes.data();
    const std::size_t size = bytes.size();
    if (size == 0) return SpaceWeatherError::missing_header();
    std::size_t p = scan.next_lf(0);

    std::vector<std::string_view> cells;
    HeaderMap header;
    split_commas(bytes.substr(0, p), cells);
    for (std::size_t pos = 0; pos < cells.size(); ++pos) {
        header.insert_or_assign(std::string(trim(cells[pos])), pos);
    }

    const auto date_col = find_column(header, "DATE");
    const auto obs_col = find_column(header, "F10.7_OBS", "F10.7");
    const auto adj_col = find_column(header, "F10.7_ADJ", "F10.7A");
    const auto ap_col = find_column(header, "AP_AVG", "AP");
    auto ap_cols = resolve_array_cols(header, "AP");
    auto kp_cols = resolve_array_cols(header, "KP");
    if (!date_col || !obs_col || !adj_col || !ap_col || !ap_cols || !kp_cols) {
        return SpaceWeatherError::missing_header();
    }
    const Layout layout = make_layout(*date_col, *obs_col, *adj_col, *ap_col, ap_cols.value(), kp_cols.value());
    std::vector<std::size_t> ends(layout.cells + 1);

    std::vector<SpaceWeatherRecord> records;
    const SpaceWeatherRecord blank;
    // The header is row 1; blank lines count.
    for (std::size_t row = 2; p < size; ++row) {
        ++p;  // past the LF
        if (p == size) break;
        // A line is blank when White_Space runs from its start to its LF.
        if (const auto c = static_cast<unsigned char>(text[p]); c <= 0x20 || c >= 0x80) {
            std::size_t q = p;
            for (std::size_t n = 1; q < size && text[q] != '\n' && n != 0; q += n) {
                n = leading_space(bytes.substr(q));
            }
            if (q == size || text[q] == '\n') {
                p = q;
                continue;
            }
        }
        const std::size_t start = p;
        records.push_back(blank);
        bool dated;
        p = read_data_line(scan, text, p, layout, ends.data(), records.back(), dated);
        if (!dated) {
            if (!scan.valid_utf8()) return SpaceWeatherError::missing_header();
            return SpaceWeatherError::parse(row, "invalid date");
        }
        if (records.size() == 1) reserve_lines(records, size - start, p - start, 63);
    }
    if (!scan.valid_utf8()) return SpaceWeatherError::missing_header();
    return records;
}

}  // namespace tarnwick::parsers::celestrak
