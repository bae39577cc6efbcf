// Integer fields and day-of-year dates of the SET formats.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "parsers/set/set.hpp"
#include "test_set_lines.hpp"
#include "test_support.hpp"

namespace tarnwick::parsers::set {
namespace {

struct IntCase {
    std::string field;
    std::optional<std::int64_t> expected;  // nothing: the field fails
};

const IntCase signed_cases[] = {
    {"0", 0},
    {"007", 7},
    {"+5", 5},
    {"-12", -12},
    {"-0", 0},
    {"  97", 97},
    {"\t42 ", 42},
    {test::utf8(0xA0) + "42", 42},         // NBSP is White_Space
    {test::utf8(0x3000) + "7", 7},         // ideographic space
    {"42\xE2\x80\xAF", 42},                // U+202F at the end
    {"2147483647", 2147483647},            // largest
    {"-2147483648", -2147483647 - 1},      // smallest
    {"00000000000000000000000000001", 1},  // leading zeros never count towards overflow
    {"2147483648", std::nullopt},
    {"-2147483649", std::nullopt},
    {"99999999999999999999999999999", std::nullopt},  // far past any 64-bit accumulator
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
    {test::utf8(0x1C) + "1", std::nullopt},      // U+001C is not White_Space
    {"\xEF\xBC\x91", std::nullopt},              // fullwidth digit one
    {"19\xC3", std::nullopt},                    // a field cut after a lead byte
    {std::string("\xA9") + "19", std::nullopt},  // and one starting on a continuation byte
    {"\xC2", std::nullopt},                      // half of an NBSP is no blank
};

TEST(SetParseInt, Signed32) {
    for (const auto& c : signed_cases) {
        SCOPED_TRACE(c.field);
        const auto r = parse_int<std::int32_t>(c.field, 7, "Dtc");
        if (c.expected) {
            ASSERT_TRUE(r.ok()) << r.error().display();
            EXPECT_EQ(r.value(), *c.expected);
        } else {
            test::expect_parse_error(r, 7, "Dtc");
        }
    }
}

const IntCase unsigned_cases[] = {
    {"0", 0},
    {"00000", 0},
    {"+032", 32},
    {"  366", 366},
    {"65535", 65535},
    {"0000000000065535", 65535},
    {"65536", std::nullopt},
    {"-0", std::nullopt},  // no minus at all, not even before zero
    {"-1", std::nullopt},
    {"", std::nullopt},
    {"+", std::nullopt},
    {"1 5", std::nullopt},
};

TEST(SetParseInt, Unsigned16) {
    for (const auto& c : unsigned_cases) {
        SCOPED_TRACE(c.field);
        const auto r = parse_int<std::uint16_t>(c.field, 3, "doy");
        if (c.expected) {
            ASSERT_TRUE(r.ok()) << r.error().display();
            EXPECT_EQ(r.value(), *c.expected);
        } else {
            test::expect_parse_error(r, 3, "doy");
        }
    }
}

struct DoyCase {
    std::int32_t year;
    std::uint16_t doy;
    std::optional<Date> expected;
};

constexpr std::int32_t int32_min = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t int32_max = std::numeric_limits<std::int32_t>::max();

const DoyCase doy_cases[] = {
    {2024, 1, Date{2024, 1, 1}},
    {2024, 32, Date{2024, 2, 1}},
    {2024, 60, Date{2024, 2, 29}},
    {2023, 60, Date{2023, 3, 1}},
    {2023, 59, Date{2023, 2, 28}},
    {2000, 366, Date{2000, 12, 31}},  // divisible by 400
    {1900, 365, Date{1900, 12, 31}},
    {1900, 366, std::nullopt},  // divisible by 100 only
    {2023, 366, std::nullopt},
    {2023, 0, std::nullopt},
    {2023, 65535, std::nullopt},
    {97, 1, Date{97, 1, 1}},    // no two-digit year expansion
    {0, 366, Date{0, 12, 31}},  // year 0 is a leap year
    {-4, 60, Date{-4, 2, 29}},
    {-1, 366, std::nullopt},
    {-100, 366, std::nullopt},
    {-400, 366, Date{-400, 12, 31}},
    {int32_min, 366, Date{int32_min, 12, 31}},  // -2^31 is divisible by 4, not by 100
    {int32_max, 365, Date{int32_max, 12, 31}},
    {int32_max, 366, std::nullopt},
};

TEST(SetDoyToDate, Table) {
    for (const auto& c : doy_cases) {
        SCOPED_TRACE(std::to_string(c.year) + " day " + std::to_string(c.doy));
        const auto r = doy_to_date(c.year, c.doy, 12);
        if (c.expected) {
            ASSERT_TRUE(r.ok()) << r.error().display();
            EXPECT_EQ(r.value(), *c.expected);
        } else {
            test::expect_parse_error(r, 12, "invalid day-of-year");
        }
    }
}

// Every day of a wide span of years, negative ones included, against the
// standard library's proleptic Gregorian calendar.
TEST(SetDoyToDate, AgreesWithChronoCalendar) {
    using namespace std::chrono;
    for (int y = -2400; y <= 2400; ++y) {
        const sys_days jan1{year{y} / January / 1};
        const unsigned length = year{y}.is_leap() ? 366u : 365u;
        for (unsigned d = 1; d <= length + 1; ++d) {
            const auto r = doy_to_date(y, static_cast<std::uint16_t>(d), 1);
            if (d > length) {
                ASSERT_FALSE(r.ok()) << y;
                continue;
            }
            const year_month_day ymd{jan1 + days{d - 1}};
            ASSERT_TRUE(r.ok()) << y << " day " << d;
            ASSERT_EQ(r.value(), (Date{y, static_cast<std::uint8_t>(unsigned{ymd.month()}),
                                       static_cast<std::uint8_t>(unsigned{ymd.day()})}))
                << y << " day " << d;
        }
    }
}

}  // namespace
}  // namespace tarnwick::parsers::set
