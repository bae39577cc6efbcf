// The SOLFSMY reader, line by line and file by file.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "parsers/set/set.hpp"
#include "test_set_lines.hpp"

namespace tarnwick::parsers::set {
namespace {

using test::make_solfsmy_line;
using test::SolfsmyFields;

const std::string published_line = "  1997   1   2450450.0  72.4  78.0  74.0  79.2  65.4  73.8  61.9  70.7  1B11";

std::string line_with(void (*edit)(SolfsmyFields&)) {
    SolfsmyFields f;
    edit(f);
    return make_solfsmy_line(f);
}

// F10.7, F81c, S10.7, M10.7, Y10.7 of one record.
using Values = std::array<double, 5>;
constexpr Values jan1{72.4, 78.0, 74.0, 65.4, 61.9};
constexpr Field value_fields[] = {Field::f10_7_jb, Field::f10_7_jb_81c, Field::s10_7, Field::m10_7, Field::y10_7};

using Case = test::Case<Values>;
using test::error;

test::Expected<Values> records(std::vector<std::pair<Date, Values>> r) {
    return r;
}
test::Expected<Values> one(Date d, Values v = jan1) {
    return records({{d, v}});
}
test::Expected<Values> f10(double v) {
    return one({1997, 1, 1}, {v, 78.0, 74.0, 65.4, 61.9});
}

void check(std::span<const Case> cases) {
    test::check_cases(cases, parse_solfsmy, [](const SpaceWeatherRecord& got, const Values& values) {
        SpaceWeatherRecord only_these(got.date);
        for (std::size_t k = 0; k < values.size(); ++k) {
            ASSERT_TRUE(got.has(value_fields[k])) << k;
            const double v = *got.get(value_fields[k]);
            if (std::isnan(values[k])) {
                EXPECT_TRUE(std::isnan(v)) << k;
            } else {
                EXPECT_EQ(v, values[k]) << k;
            }
            only_these.set(ScalarField::of(value_fields[k]), v);
        }
        EXPECT_EQ(got, only_these) << "no other field may be present";
    });
}

TEST(SetSolfsmy, Lines) {
    const std::string line = make_solfsmy_line({});
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Case cases[] = {
        {"published line", published_line + "\n", one({1997, 1, 1})},
        {"64 bytes", line.substr(0, 64), one({1997, 1, 1})},
        {"63 bytes", line.substr(0, 63), error(1, "line too short")},
        {"bytes never read", line_with([](SolfsmyFields& f) {
             f.julian = "not a number";
             f.s81c = "S81c?!";
             f.m81c = "€€";
             f.y81c = "";
             f.tail = " anything";
         }),
         one({1997, 1, 1})},
        {"point at the end", line_with([](SolfsmyFields& f) { f.f10 = "72."; }), f10(72.0)},
        {"point at the start", line_with([](SolfsmyFields& f) { f.f10 = ".5"; }), f10(0.5)},
        {"exponent", line_with([](SolfsmyFields& f) { f.f10 = "1e2"; }), f10(100.0)},
        {"signed exponent", line_with([](SolfsmyFields& f) { f.f10 = "+1E+02"; }), f10(100.0)},
        {"negative", line_with([](SolfsmyFields& f) { f.f10 = "-1.0"; }), f10(-1.0)},
        {"zero is a value", line_with([](SolfsmyFields& f) { f.f10 = "0.0"; }), f10(0.0)},
        {"nan", line_with([](SolfsmyFields& f) { f.f10 = "nan"; }), f10(nan)},
        {"inf", line_with([](SolfsmyFields& f) { f.f10 = "inf"; }), f10(inf)},
        {"-INF", line_with([](SolfsmyFields& f) { f.f10 = "-INF"; }), f10(-inf)},
        {"NBSP inside the field", line_with([](SolfsmyFields& f) { f.f10 = "72.4\xC2\xA0"; }), f10(72.4)},
        {"blank F10.7", line_with([](SolfsmyFields& f) { f.f10 = ""; }), error(1, "F10.7")},
        {"blank F81c", line_with([](SolfsmyFields& f) { f.f81c = ""; }), error(1, "F81c")},
        {"blank S10.7", line_with([](SolfsmyFields& f) { f.s10 = ""; }), error(1, "S10.7")},
        {"blank M10.7", line_with([](SolfsmyFields& f) { f.m10 = ""; }), error(1, "M10.7")},
        {"blank Y10.7", line_with([](SolfsmyFields& f) { f.y10 = ""; }), error(1, "Y10.7")},
        {"lone point", line_with([](SolfsmyFields& f) { f.f10 = "."; }), error(1, "F10.7")},
        {"exponent without digits", line_with([](SolfsmyFields& f) { f.f10 = "1e"; }), error(1, "F10.7")},
        {"exponent without mantissa", line_with([](SolfsmyFields& f) { f.f10 = "e5"; }), error(1, "F10.7")},
        {"decimal comma", line_with([](SolfsmyFields& f) { f.f10 = "1,5"; }), error(1, "F10.7")},
        {"inner blank", line_with([](SolfsmyFields& f) { f.f10 = "1 5"; }), error(1, "F10.7")},
        {"hexadecimal", line_with([](SolfsmyFields& f) { f.f10 = "0x1A"; }), error(1, "F10.7")},
        {"character cut by a field boundary", line_with([](SolfsmyFields& f) {
             f.f81c = "78.0\xC3";  // 5 bytes: F81c ends on the lead byte
             f.s10 = "\xA9 74.0";
         }),
         error(1, "F81c")},
        {"first bad field is named", line_with([](SolfsmyFields& f) {
             f.s10 = "x";
             f.f10 = "x";
         }),
         error(1, "F10.7")},
        {"day 60 of a leap year", line_with([](SolfsmyFields& f) {
             f.year = "2024";
             f.doy = "60";
         }),
         one({2024, 2, 29})},
        {"day 60 of a common year", line_with([](SolfsmyFields& f) {
             f.year = "2023";
             f.doy = "60";
         }),
         one({2023, 3, 1})},
        {"day 0", line_with([](SolfsmyFields& f) { f.doy = "0"; }), error(1, "invalid day-of-year")},
        {"day past the year", line_with([](SolfsmyFields& f) { f.doy = "366"; }), error(1, "invalid day-of-year")},
        {"negative day", line_with([](SolfsmyFields& f) { f.doy = "-1"; }), error(1, "doy")},
        {"bad year", line_with([](SolfsmyFields& f) { f.year = "1997a"; }), error(1, "year")},
        {"negative year", line_with([](SolfsmyFields& f) {
             f.year = "-1";
             f.doy = "365";
         }),
         one({-1, 12, 31})},
        {"date checked before values", line_with([](SolfsmyFields& f) {
             f.doy = "0";
             f.f10 = "x";
         }),
         error(1, "invalid day-of-year")},
    };
    check(cases);
}

TEST(SetSolfsmy, Files) {
    const std::string line = make_solfsmy_line({});
    const std::string line2 = line_with([](SolfsmyFields& f) {
        f.doy = "2";
        f.f10 = "72.1";
    });
    const Values jan2{72.1, 78.0, 74.0, 65.4, 61.9};
    const Case cases[] = {
        {"empty file", "", records({})},
        {"only blank and comment lines", "# header\n\n \t\n#\n", records({})},
        {"header then data", test::lines({"# YYYY DDD   JulianDay  F10", line}), one({1997, 1, 1})},
        {"rows count skipped lines", test::lines({"# a", "", "  # b", line.substr(0, 63)}), error(4, "line too short")},
        {"error on a later line", test::lines({line, line2, line_with([](SolfsmyFields& f) { f.m10 = "-"; })}),
         error(3, "M10.7")},
        {"CRLF", line + "\r\n" + line2 + "\r\n", records({{{1997, 1, 1}, jan1}, {{1997, 1, 2}, jan2}})},
        {"CR before LF is no byte of the line", line.substr(0, 63) + "\r\n", error(1, "line too short")},
        {"same day twice", test::lines({line, line}), records({{{1997, 1, 1}, jan1}, {{1997, 1, 1}, jan1}})},
        {"invalid UTF-8 in a skipped byte range", test::lines({line + "\xF4\x90\x80\x80"}), error(0, "invalid utf-8")},
        {"invalid UTF-8 after a bad line", test::lines({line.substr(0, 10), "# \x80"}), error(0, "invalid utf-8")},
        {"BOM before '#' makes a data line", "\xEF\xBB\xBF# " + std::string(80, 'x') + "\n", error(1, "year")},
    };
    check(cases);
}

}  // namespace
}  // namespace tarnwick::parsers::set
