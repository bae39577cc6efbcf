// Plain, slow re-implementations of the readers, written straight from the
// file formats and sharing no code with the library: the fuzz targets
// compare every answer of the fast readers with these. Where the two could
// only agree by sharing a mistake (number rounding), the C library's strtod
// is the oracle instead.
#pragma once

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "date.hpp"
#include "error.hpp"
#include "record.hpp"

namespace tarnwick::fuzz {

// Decodes every sequence to its code point and rejects by value: beyond
// U+10FFFF, a surrogate, or a value that a shorter form could carry.
inline bool utf8_ok(std::string_view s) {
    static constexpr std::uint32_t shortest[] = {0, 0, 0x80, 0x800, 0x10000};
    std::size_t i = 0;
    while (i < s.size()) {
        const auto b = static_cast<unsigned char>(s[i]);
        std::size_t len;
        std::uint32_t cp;
        if (b < 0x80) {
            ++i;
            continue;
        } else if ((b & 0xE0) == 0xC0) {
            len = 2, cp = b & 0x1Fu;
        } else if ((b & 0xF0) == 0xE0) {
            len = 3, cp = b & 0x0Fu;
        } else if ((b & 0xF8) == 0xF0) {
            len = 4, cp = b & 0x07u;
        } else {
            return false;
        }
        if (s.size() - i < len) return false;
        for (std::size_t k = 1; k < len; ++k) {
            const auto c = static_cast<unsigned char>(s[i + k]);
            if ((c & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (c & 0x3Fu);
        }
        if (cp < shortest[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += len;
    }
    return true;
}

// The characters with the White_Space property, spelt out in UTF-8.
inline constexpr std::string_view white_space[] = {
    "\t",           "\n",           "\v",           "\f",           "\r",           " ",
    "\xC2\x85",     "\xC2\xA0",     "\xE1\x9A\x80", "\xE2\x80\x80", "\xE2\x80\x81", "\xE2\x80\x82",
    "\xE2\x80\x83", "\xE2\x80\x84", "\xE2\x80\x85", "\xE2\x80\x86", "\xE2\x80\x87", "\xE2\x80\x88",
    "\xE2\x80\x89", "\xE2\x80\x8A", "\xE2\x80\xA8", "\xE2\x80\xA9", "\xE2\x80\xAF", "\xE2\x81\x9F",
    "\xE3\x80\x80",
};

inline std::string_view strip(std::string_view s) {
    for (bool again = true; again;) {
        again = false;
        for (const std::string_view w : white_space) {
            if (s.starts_with(w)) s.remove_prefix(w.size()), again = true;
            if (s.ends_with(w)) s.remove_suffix(w.size()), again = true;
        }
    }
    return s;
}

inline std::vector<std::string_view> split(std::string_view s, char sep) {
    std::vector<std::string_view> parts;
    for (;;) {
        const std::size_t at = s.find(sep);
        parts.push_back(s.substr(0, at));
        if (at == std::string_view::npos) return parts;
        s.remove_prefix(at + 1);
    }
}

// Lines at each LF, a CR just before the LF going with it; text after the
// last LF is a line only when not empty.
inline std::vector<std::string_view> lines_of(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t lf = text.find('\n');
        if (lf == std::string_view::npos) {
            lines.push_back(text);
            break;
        }
        std::string_view line = text.substr(0, lf);
        if (line.ends_with('\r')) line.remove_suffix(1);
        lines.push_back(line);
        text.remove_prefix(lf + 1);
    }
    return lines;
}

inline bool all_digits(std::string_view s) {
    if (s.empty()) return false;
    for (const char c : s) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

// Digits (already checked) as a number, or nothing when above `max`.
inline std::optional<std::uint64_t> digits_value(std::string_view digits, std::uint64_t max) {
    while (digits.size() > 1 && digits.front() == '0') digits.remove_prefix(1);
    if (digits.size() > 19) return std::nullopt;
    const std::uint64_t v = std::strtoull(std::string(digits).c_str(), nullptr, 10);
    if (v > max) return std::nullopt;
    return v;
}

inline bool is_decimal_text(std::string_view s) {
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) s.remove_prefix(1);
    std::string lower(s);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower == "inf" || lower == "infinity" || lower == "nan") return true;
    const std::size_t e = s.find_first_of("eE");
    if (e != std::string_view::npos) {
        std::string_view exp = s.substr(e + 1);
        if (!exp.empty() && (exp.front() == '+' || exp.front() == '-')) exp.remove_prefix(1);
        if (!all_digits(exp)) return false;
        s = s.substr(0, e);
    }
    const std::size_t point = s.find('.');
    if (point == std::string_view::npos) return all_digits(s);
    const std::string_view whole = s.substr(0, point), frac = s.substr(point + 1);
    return (whole.empty() || all_digits(whole)) && (frac.empty() || all_digits(frac)) &&
           !(whole.empty() && frac.empty());
}

// strtod rounds to nearest, ties to even, and reads inf, infinity and nan
// the same way; it must only see text the grammar above has accepted,
// since it also takes hexadecimal, "nan(...)" and leading blanks.
inline std::optional<double> decimal(std::string_view s) {
    if (!is_decimal_text(s)) return std::nullopt;
    return std::strtod(std::string(s).c_str(), nullptr);
}

using Outcome = std::variant<std::vector<SpaceWeatherRecord>, SpaceWeatherError>;

// ---- CelesTrak CSV ------------------------------------------------------

inline std::optional<Date> csv_date(std::string_view cell) {
    const auto parts = split(strip(cell), '-');
    if (parts.size() != 3) return std::nullopt;
    std::uint64_t v[3];
    const std::uint64_t max[3] = {2147483647, 255, 255};
    for (int i = 0; i < 3; ++i) {
        std::string_view p = parts[static_cast<std::size_t>(i)];
        if (p.starts_with('+')) p.remove_prefix(1);
        if (!all_digits(p)) return std::nullopt;
        const auto n = digits_value(p, max[i]);
        if (!n) return std::nullopt;
        v[i] = *n;
    }
    if (v[1] < 1 || v[1] > 12 || v[2] < 1 || v[2] > 31) return std::nullopt;
    return Date{static_cast<std::int32_t>(v[0]), static_cast<std::uint8_t>(v[1]), static_cast<std::uint8_t>(v[2])};
}

inline std::optional<double> csv_value(std::string_view cell) {
    const std::string_view t = strip(cell);
    if (t.empty() || t == "9999.9" || t == "99999" || t == "999.9") return std::nullopt;
    return decimal(t);
}

inline Outcome celestrak(std::string_view bytes) {
    if (!utf8_ok(bytes)) return SpaceWeatherError::missing_header();
    const auto lines = lines_of(bytes);
    if (lines.empty()) return SpaceWeatherError::missing_header();
    std::vector<std::string_view> names = split(lines[0], ',');
    for (auto& name : names) name = strip(name);
    // Last occurrence wins, as in a map filled in header order.
    auto column = [&](std::string_view name) -> std::optional<std::size_t> {
        for (std::size_t i = names.size(); i-- > 0;) {
            if (names[i] == name) return i;
        }
        return std::nullopt;
    };
    auto either = [&](std::string_view a, std::string_view b) { return column(a) ? column(a) : column(b); };
    const auto date = column("DATE"), obs = either("F10.7_OBS", "F10.7"), adj = either("F10.7_ADJ", "F10.7A"),
               ap = either("AP_AVG", "AP");
    std::size_t ap8[8], kp8[8];
    if (!date || !obs || !adj || !ap) return SpaceWeatherError::missing_header();
    for (int k = 0; k < 8; ++k) {
        const auto a = column("AP" + std::to_string(k + 1));
        if (!a) return SpaceWeatherError::missing_header();
        ap8[k] = *a;
    }
    for (int k = 0; k < 8; ++k) {
        const auto a = column("KP" + std::to_string(k + 1));
        if (!a) return SpaceWeatherError::missing_header();
        kp8[k] = *a;
    }
    std::vector<SpaceWeatherRecord> out;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string_view t = strip(lines[i]);
        if (t.empty()) continue;
        const auto cells = split(t, ',');
        auto cell = [&](std::size_t pos) { return pos < cells.size() ? cells[pos] : std::string_view{}; };
        const auto d = csv_date(cell(*date));
        if (!d) return SpaceWeatherError::parse(i + 1, "invalid date");
        SpaceWeatherRecord r(*d);
        if (const auto v = csv_value(cell(*obs))) r.set(Field::f10_7_obs, *v);
        if (const auto v = csv_value(cell(*adj))) r.set(Field::f10_7_adj, *v);
        if (const auto v = csv_value(cell(*ap))) r.set(Field::ap_daily, *v);
        for (const auto& [field, cols] : {std::pair{Field::ap_3hr, ap8}, std::pair{Field::kp_3hr, kp8}}) {
            Array8 a;
            bool all = true;
            for (std::size_t k = 0; k < 8 && all; ++k) {
                const auto v = csv_value(cell(cols[k]));
                all = v.has_value();
                if (all) a[k] = *v;
            }
            if (all) r.set_array(ArrayField::of(field), a);
        }
        out.push_back(r);
    }
    return out;
}

// ---- SET texts ----------------------------------------------------------

inline std::optional<std::int64_t> set_int(std::string_view field, bool allow_minus, std::int64_t lo, std::int64_t hi) {
    std::string_view t = strip(field);
    bool negative = false;
    if (t.starts_with('+') || (allow_minus && t.starts_with('-'))) negative = t.front() == '-', t.remove_prefix(1);
    if (!all_digits(t)) return std::nullopt;
    const auto mag = digits_value(t, static_cast<std::uint64_t>(negative ? -lo : hi));
    if (!mag) return std::nullopt;
    return negative ? -static_cast<std::int64_t>(*mag) : static_cast<std::int64_t>(*mag);
}

// Month and day from the number of days before each month's first.
inline std::optional<Date> from_doy(std::int64_t year, std::int64_t doy) {
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int before[13] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365};
    const int extra = leap ? 1 : 0;
    if (doy < 1 || doy > 365 + extra) return std::nullopt;
    for (int m = 12; m >= 1; --m) {
        const int start = before[m - 1] + (m > 2 ? extra : 0);
        if (doy > start) {
            return Date{static_cast<std::int32_t>(year), static_cast<std::uint8_t>(m),
                        static_cast<std::uint8_t>(doy - start)};
        }
    }
    return std::nullopt;
}

// Reads one data line into `r`; returns the failure message or "".
using SetLine = std::string (*)(std::string_view line, SpaceWeatherRecord& r);

inline Outcome set_file(std::string_view bytes, std::size_t min_length, std::size_t year_at, std::size_t year_width,
                        std::size_t doy_at, std::size_t doy_width, SetLine values) {
    if (!utf8_ok(bytes)) return SpaceWeatherError::parse(0, "invalid utf-8");
    std::vector<SpaceWeatherRecord> out;
    const auto lines = lines_of(bytes);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = lines[i], t = strip(line);
        const std::size_t row = i + 1;
        if (t.empty() || t.front() == '#') continue;
        if (line.size() < min_length) return SpaceWeatherError::parse(row, "line too short");
        const auto year = set_int(line.substr(year_at, year_width), true, INT32_MIN, INT32_MAX);
        if (!year) return SpaceWeatherError::parse(row, "year");
        const auto doy = set_int(line.substr(doy_at, doy_width), false, 0, 65535);
        if (!doy) return SpaceWeatherError::parse(row, "doy");
        const auto d = from_doy(*year, *doy);
        if (!d) return SpaceWeatherError::parse(row, "invalid day-of-year");
        SpaceWeatherRecord r(*d);
        if (std::string failed = values(line, r); !failed.empty()) return SpaceWeatherError::parse(row, failed);
        out.push_back(r);
    }
    return out;
}

inline Outcome dtcfile(std::string_view bytes) {
    return set_file(bytes, 109, 4, 4, 8, 5, [](std::string_view line, SpaceWeatherRecord& r) -> std::string {
        double sum = 0;
        for (std::size_t k = 0; k < 24; ++k) {
            const auto v = set_int(line.substr(13 + 4 * k, 4), true, INT32_MIN, INT32_MAX);
            if (!v) return "Dtc";
            sum += static_cast<double>(*v);
        }
        r.set(Field::dtc, sum / 24.0);
        return {};
    });
}

inline Outcome solfsmy(std::string_view bytes) {
    return set_file(bytes, 64, 0, 6, 6, 4, [](std::string_view line, SpaceWeatherRecord& r) -> std::string {
        const std::pair<std::size_t, Field> at[] = {{22, Field::f10_7_jb},
                                                    {28, Field::f10_7_jb_81c},
                                                    {34, Field::s10_7},
                                                    {46, Field::m10_7},
                                                    {58, Field::y10_7}};
        const char* names[] = {"F10.7", "F81c", "S10.7", "M10.7", "Y10.7"};
        for (std::size_t i = 0; i < 5; ++i) {
            const auto v = decimal(strip(line.substr(at[i].first, 6)));
            if (!v) return names[i];
            r.set(ScalarField::of(at[i].second), *v);
        }
        return {};
    });
}

// ---- published-form lines from fuzz input --------------------------------
//
// Texts whose lines have the published form, their values taken from the
// input, so that every run reaches a SET reader's fixed-offset path with
// values of the fuzzer's choosing. One line is made from each `each`
// bytes: `make(b, line)` writes it from b[0..each - 2] into `line`, then
// b[each - 1] = k, when below 192, makes byte k % `length` of the line '+',
// `mark` or a tab, which turns some lines into near misses.
template <class Make>
std::string published_lines(std::string_view bytes, std::size_t each, std::size_t length, char mark, Make make) {
    std::string text;
    for (std::size_t at = 0; at + each <= bytes.size(); at += each) {
        const auto* const b = reinterpret_cast<const unsigned char*>(bytes.data() + at);
        char line[128];
        make(b, line);
        if (const unsigned k = b[each - 1]; k < 192) line[k % length] = k < 64 ? '+' : k < 128 ? mark : '\t';
        text += line;
        text += '\n';
    }
    return text;
}

// Two bytes as a number, a year of four digits (two bytes) and a day from
// 0 to 399 (one byte).
inline unsigned u16_at(const unsigned char* b) {
    return static_cast<unsigned>(b[0]) << 8 | b[1];
}
inline unsigned year_of(const unsigned char* b) {
    return u16_at(b) % 10000u;
}
inline unsigned day_of(const unsigned char* b) {
    return b[2] * 400u / 256u;
}

// SOLFSMY lines: year, day and five F6.1 values of up to 9999.9.
inline std::string published_solfsmy(std::string_view bytes) {
    return published_lines(bytes, 14, 64, '.', [](const unsigned char* b, char* line) {
        unsigned v[5];
        for (unsigned k = 0; k < 5; ++k) v[k] = u16_at(b + 3 + 2 * k) % 100000u;
        std::snprintf(line, 128, "  %4u%4u   2450450.0%4u.%u%4u.%u%4u.%u  79.2%4u.%u  73.8%4u.%u  70.7  0000",
                      year_of(b), day_of(b), v[0] / 10, v[0] % 10, v[1] / 10, v[1] % 10, v[2] / 10, v[2] % 10,
                      v[3] / 10, v[3] % 10, v[4] / 10, v[4] % 10);
    });
}

// DTCFILE lines: year, day and 24 hourly values of up to four digits.
inline std::string published_dtcfile(std::string_view bytes) {
    return published_lines(bytes, 52, 109, '-', [](const unsigned char* b, char* line) {
        int n = std::snprintf(line, 128, "DTC %4u%4u ", year_of(b), day_of(b));
        for (unsigned k = 0; k < 24; ++k) {
            const unsigned hour = u16_at(b + 3 + 2 * k) % 10000u;
            n += std::snprintf(line + n, 128 - static_cast<std::size_t>(n), "%4u", hour);
        }
    });
}

// The combining rule spelt out field by field: the first record of a day
// that has a field gives it.
inline void fill_gaps(SpaceWeatherRecord& kept, const SpaceWeatherRecord& later) {
    for (std::size_t i = 0; i < field_count; ++i) {
        const auto f = static_cast<Field>(i);
        if (kept.has(f) || !later.has(f)) continue;
        if (is_array_field(f)) {
            kept.set_array(ArrayField::of(f), *later.get_array(f));
        } else {
            kept.set(ScalarField::of(f), *later.get(f));
        }
    }
}

}  // namespace tarnwick::fuzz
