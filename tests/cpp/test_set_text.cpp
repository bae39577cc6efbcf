// Integer fields and day-of-year dates of the SET formats, each case a
// one-line file read by a real reader.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "parsers/set/set.hpp"
#include "test_set_lines.hpp"
#include "test_support.hpp"

namespace tarnwick::parsers::set {
namespace {

using test::make_solfsmy_line;
using test::SolfsmyFields;

// A SOLFSMY line with `year` in its six-byte year field and `doy` in its
// four-byte day field, read alone.
Result<std::vector<SpaceWeatherRecord>> read_solfsmy_date(std::string_view year, std::string_view doy) {
    SolfsmyFields f;
    f.year = year;
    f.doy = doy;
    return parse_solfsmy(make_solfsmy_line(f) + "\n");
}

// A DTCFILE line with `doy` in its five-byte day field, or with `hour` in
// all of its four-byte hour fields, read alone.
Result<std::vector<SpaceWeatherRecord>> read_dtc(std::string_view doy, std::string_view hour = "31") {
    return parse_dtcfile(test::make_dtc_line("1997", doy, hour) + "\n");
}

struct IntCase {
    std::string field;
    std::optional<std::int64_t> expected;  // nothing: the field fails
};

// Through the six-byte year field of SOLFSMY and the four-byte hour
// fields of DTCFILE: the blank-padded fast path and the general path.
const IntCase signed_cases[] = {
    {"0", 0},
    {"007", 7},
    {"+5", 5},
    {"-12", -12},
    {"-0", 0},
    {"  97", 97},
    {"\t42 ", 42},
    {"4 ", 4},                      // a blank after the digits
    {test::utf8(0xA0) + "42", 42},  // NBSP is White_Space
    {test::utf8(0x3000) + "7", 7},  // ideographic space
    {"42\xE2\x80\xAF", 42},         // U+202F at the end
    {"999999", 999999},             // the widest a field holds
    {"-99999", -99999},
    {"000001", 1},
    {"", std::nullopt},
    {"    ", std::nullopt},
    {"+", std::nullopt},
    {"-", std::nullopt},
    {"+-1", std::nullopt},
    {"--1", std::nullopt},
    {"- 1", std::nullopt},
    {"1 2", std::nullopt},
    {"1.0", std::nullopt},
    {"1e3", std::nullopt},
    {"0x1", std::nullopt},
    {test::utf8(0x1C) + "1", std::nullopt},  // U+001C is not White_Space
    {"\xEF\xBC\x91", std::nullopt},          // fullwidth digit one
};

// A field may cut through a character: the stump, even of an NBSP, is
// neither a digit nor a blank.
TEST(SetIntegerFields, CutCharacters) {
    test::expect_parse_error(read_solfsmy_date("19\xC3", "\xA9  1"), 1, "year");
    test::expect_parse_error(read_solfsmy_date("  19\xC2", "\xA0  1"), 1, "year");
    test::expect_parse_error(read_solfsmy_date("2000\xC2", "\xA0  1"), 1, "year");
}

TEST(SetIntegerFields, Signed) {
    for (const auto& c : signed_cases) {
        SCOPED_TRACE(test::hex(c.field));
        const auto year = read_solfsmy_date(c.field, "1");
        if (c.expected) {
            ASSERT_TRUE(year.ok()) << year.error().display();
            EXPECT_EQ(year.value()[0].date, (Date{static_cast<std::int32_t>(*c.expected), 1, 1}));
        } else {
            test::expect_parse_error(year, 1, "year");
        }
        if (c.field.size() > 4) continue;
        const auto hours = read_dtc("1", c.field);
        if (c.expected) {
            ASSERT_TRUE(hours.ok()) << hours.error().display();
            EXPECT_EQ(hours.value()[0].get(Field::dtc), static_cast<double>(*c.expected));
        } else {
            test::expect_parse_error(hours, 1, "Dtc");
        }
    }
}

// Through the five-byte day field of DTCFILE: a value that reads but is
// no day of 1997 fails later, with "invalid day-of-year".
const IntCase unsigned_cases[] = {
    {"0", 0},
    {"00000", 0},
    {"+032", 32},
    {"  365", 365},
    {"65535", 65535},
    {"65536", std::nullopt},  // past 16 bits
    {"99999", std::nullopt},
    {"-0", std::nullopt},  // no minus at all, not even before zero
    {"-1", std::nullopt},
    {"", std::nullopt},
    {"+", std::nullopt},
    {"1 5", std::nullopt},
};

TEST(SetIntegerFields, DayOfYear) {
    for (const auto& c : unsigned_cases) {
        SCOPED_TRACE(c.field);
        const auto r = read_dtc(c.field);
        if (!c.expected) {
            test::expect_parse_error(r, 1, "doy");
        } else if (*c.expected == 0 || *c.expected > 365) {
            test::expect_parse_error(r, 1, "invalid day-of-year");
        } else {
            ASSERT_TRUE(r.ok()) << r.error().display();
            EXPECT_EQ(r.value()[0].date, (*c.expected == 32 ? Date{1997, 2, 1} : Date{1997, 12, 31}));
        }
    }
}

struct DoyCase {
    std::string_view year;  // six bytes at most
    std::string_view doy;   // four bytes at most
    std::optional<Date> expected;
};

const DoyCase doy_cases[] = {
    {"2024", "1", Date{2024, 1, 1}},     {"2024", "32", Date{2024, 2, 1}},
    {"2024", "60", Date{2024, 2, 29}},   {"2023", "60", Date{2023, 3, 1}},
    {"2023", "59", Date{2023, 2, 28}},   {"2000", "366", Date{2000, 12, 31}},  // divisible by 400
    {"1900", "365", Date{1900, 12, 31}}, {"1900", "366", std::nullopt},        // divisible by 100 only
    {"2023", "366", std::nullopt},       {"2023", "0", std::nullopt},
    {"2023", "9999", std::nullopt},      {"97", "1", Date{97, 1, 1}},  // no two-digit year expansion
    {"0", "366", Date{0, 12, 31}},                                     // year 0 is a leap year
    {"-4", "60", Date{-4, 2, 29}},       {"-1", "366", std::nullopt},
    {"-100", "366", std::nullopt},       {"-400", "366", Date{-400, 12, 31}},
    {"-99999", "366", std::nullopt},     {"999999", "365", Date{999999, 12, 31}},
};

TEST(SetDayOfYear, Table) {
    for (const auto& c : doy_cases) {
        SCOPED_TRACE(std::string(c.year) + " day " + std::string(c.doy));
        const auto r = read_solfsmy_date(c.year, c.doy);
        if (c.expected) {
            ASSERT_TRUE(r.ok()) << r.error().display();
            EXPECT_EQ(r.value()[0].date, *c.expected);
        } else {
            test::expect_parse_error(r, 1, "invalid day-of-year");
        }
    }
}

// Every day of a wide span of years, negative ones included, against the
// standard library's proleptic Gregorian calendar: one file per year, and
// the day after its last alone.
TEST(SetDayOfYear, AgreesWithChronoCalendar) {
    using namespace std::chrono;
    for (int y = -2400; y <= 2400; ++y) {
        const sys_days jan1{year{y} / January / 1};
        const unsigned length = year{y}.is_leap() ? 366u : 365u;
        SolfsmyFields f;
        const std::string year_text = std::to_string(y);
        f.year = year_text;
        std::string file;
        for (unsigned d = 1; d <= length; ++d) {
            const std::string doy = std::to_string(d);
            f.doy = doy;
            file += make_solfsmy_line(f) + "\n";
        }
        const auto r = parse_solfsmy(file);
        ASSERT_TRUE(r.ok()) << y << ": " << r.error().display();
        ASSERT_EQ(r.value().size(), length);
        for (unsigned d = 1; d <= length; ++d) {
            const year_month_day ymd{jan1 + days{d - 1}};
            ASSERT_EQ(r.value()[d - 1].date, (Date{y, static_cast<std::uint8_t>(unsigned{ymd.month()}),
                                                   static_cast<std::uint8_t>(unsigned{ymd.day()})}))
                << y << " day " << d;
        }
        test::expect_parse_error(read_solfsmy_date(year_text, std::to_string(length + 1)), 1, "invalid day-of-year");
    }
}

}  // namespace
}  // namespace tarnwick::parsers::set
