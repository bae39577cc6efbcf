// Builders for SET lines with every field at its published byte position,
// and checks shared by the SET reader tests.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "date.hpp"
#include "error.hpp"
#include "record.hpp"

namespace tarnwick::test {

// `text` right-aligned in `width` bytes, as a Fortran I or F edit writes
// it. Longer text is kept whole, which shifts everything after it.
inline std::string pad(std::string_view text, std::size_t width) {
    std::string out;
    if (text.size() < width) out.assign(width - text.size(), ' ');
    out += text;
    return out;
}

// A DTCFILE line: tag at bytes 0-3, year 4-7, day of the year 8-12, hour
// k at 13+4k .. 16+4k, then `tail` from byte 109.
struct DtcFields {
    std::string_view tag = "DTC ";
    std::string_view year = "1997";
    std::string_view doy = "1";
    std::array<std::string_view, 24> hours = filled("31");
    std::string_view tail;

    static std::array<std::string_view, 24> filled(std::string_view v) {
        std::array<std::string_view, 24> a;
        a.fill(v);
        return a;
    }
};

inline std::string make_dtc_line(const DtcFields& f) {
    std::string line(f.tag);
    line += pad(f.year, 4);
    line += pad(f.doy, 5);
    for (const auto& h : f.hours) line += pad(h, 4);
    line += f.tail;
    return line;
}

// A DTC line whose 24 hours all hold `hour`.
inline std::string make_dtc_line(std::string_view year, std::string_view doy, std::string_view hour = "31") {
    DtcFields f;
    f.year = year;
    f.doy = doy;
    f.hours = DtcFields::filled(hour);
    return make_dtc_line(f);
}

// A SOLFSMY line: year 0-5, day 6-9, Julian day 10-21, then ten values of
// six bytes from byte 22 (F10, F81c, S10, S81c, M10, M81c, Y10, Y81c), then
// `tail`. Defaults are the published line of 1997-01-01.
struct SolfsmyFields {
    std::string_view year = "1997";
    std::string_view doy = "1";
    std::string_view julian = "2450450.0";
    std::string_view f10 = "72.4";
    std::string_view f81c = "78.0";
    std::string_view s10 = "74.0";
    std::string_view s81c = "79.2";
    std::string_view m10 = "65.4";
    std::string_view m81c = "73.8";
    std::string_view y10 = "61.9";
    std::string_view y81c = "70.7";
    std::string_view tail = "  1B11";
};

inline std::string make_solfsmy_line(const SolfsmyFields& f) {
    std::string line = pad(f.year, 6);
    line += pad(f.doy, 4);
    line += pad(f.julian, 12);
    for (const auto v : {f.f10, f.f81c, f.s10, f.s81c, f.m10, f.m81c, f.y10, f.y81c}) line += pad(v, 6);
    line += f.tail;
    return line;
}

// Lines joined by LF, with a final LF.
inline std::string lines(const std::vector<std::string>& ls) {
    std::string out;
    for (const auto& l : ls) out += l + "\n";
    return out;
}

template <class T>
void expect_parse_error(const Result<T>& result, std::size_t row, std::string_view message) {
    ASSERT_FALSE(result.ok()) << "expected \"" << message << "\" at row " << row;
    EXPECT_EQ(result.error(), SpaceWeatherError::parse(row, std::string(message))) << result.error().display();
}

struct ParseFailure {
    std::size_t row;
    std::string message;
};

inline ParseFailure error(std::size_t row, std::string message) {
    return {row, std::move(message)};
}

// What a reader gives for one input: records in file order, each a date
// and the values the test compares, or an error.
template <class Values>
struct Expected {
    Expected(std::vector<std::pair<Date, Values>> r) : records(std::move(r)) {}
    Expected(ParseFailure f) : failure(std::move(f)) {}

    std::vector<std::pair<Date, Values>> records;
    std::optional<ParseFailure> failure;
};

template <class Values>
struct Case {
    const char* what;
    std::string input;
    Expected<Values> expected;
};

// Reads each case's input with `read` and compares; `check_values(record,
// values)` compares one record beyond its date.
template <class Values, class Read, class CheckValues>
void check_cases(std::span<const Case<Values>> cases, Read read, CheckValues check_values) {
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto r = read(c.input);
        if (c.expected.failure) {
            expect_parse_error(r, c.expected.failure->row, c.expected.failure->message);
            continue;
        }
        ASSERT_TRUE(r.ok()) << r.error().display();
        const auto& got = r.value();
        ASSERT_EQ(got.size(), c.expected.records.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            SCOPED_TRACE("record " + std::to_string(i));
            EXPECT_EQ(got[i].date, c.expected.records[i].first);
            check_values(got[i], c.expected.records[i].second);
        }
    }
}

}  // namespace tarnwick::test
