// The DTCFILE reader, line by line and file by file.
#include <gtest/gtest.h>

#include <span>
#include <string>
#include <utility>
#include <vector>

#include "parsers/decimal.hpp"
#include "parsers/set/set.hpp"
#include "parsers/text.hpp"
#include "test_set_lines.hpp"
#include "test_support.hpp"

namespace tarnwick::parsers::set {
namespace {

using test::DtcFields;
using test::make_dtc_line;

// The first line of the published file: its 24 values sum to 894.
const std::string published_line =
    "DTC 1997   1   31  50  50  50  44  44  44  50  50  50  44  44  44  24  24  24  24  24  24  31  31  31  31  31";

std::string dtc_line(void (*edit)(DtcFields&)) {
    DtcFields f;
    edit(f);
    return make_dtc_line(f);
}

std::string indented(std::string_view line) {
    std::string out(1, ' ');
    out += line;
    return out;
}

using Case = test::Case<double>;  // dtc of each record
using test::error;

test::Expected<double> records(std::vector<std::pair<Date, double>> r) {
    return r;
}

void check(std::span<const Case> cases) {
    test::check_cases(cases, parse_dtcfile, [](const SpaceWeatherRecord& got, double dtc) {
        SpaceWeatherRecord only_dtc(got.date);
        only_dtc.set(Field::dtc, dtc);
        EXPECT_EQ(got, only_dtc) << "dtc " << dtc << ", every other field absent";
    });
}

TEST(SetDtcfile, Lines) {
    const std::string line = make_dtc_line("1997", "1");
    const Case cases[] = {
        {"published line", published_line + "\n", records({{{1997, 1, 1}, 894.0 / 24.0}})},
        {"mean, not sum or integer quotient", dtc_line([](DtcFields& f) {
             f.hours.fill("0");
             f.hours[0] = "1";
         }),
         records({{{1997, 1, 1}, 1.0 / 24.0}})},
        {"negative values", make_dtc_line("1997", "1", "-12"), records({{{1997, 1, 1}, -12.0}})},
        {"signed and zero-padded values", make_dtc_line("1997", "1", "+007"), records({{{1997, 1, 1}, 7.0}})},
        {"year written in two digits", make_dtc_line("97", "1"), records({{{97, 1, 1}, 31.0}})},
        {"leap day of a year divisible by 400", make_dtc_line("2000", "366"), records({{{2000, 12, 31}, 31.0}})},
        {"day 366 of 1900", make_dtc_line("1900", "366"), error(1, "invalid day-of-year")},
        {"day 60 of a leap year", make_dtc_line("2024", "60"), records({{{2024, 2, 29}, 31.0}})},
        {"day 60 of a common year", make_dtc_line("2023", "60"), records({{{2023, 3, 1}, 31.0}})},
        {"day 0", make_dtc_line("2023", "0"), error(1, "invalid day-of-year")},
        {"day 00000", make_dtc_line("2023", "00000"), error(1, "invalid day-of-year")},
        {"negative day", make_dtc_line("2023", "-1"), error(1, "doy")},
        {"signed day", make_dtc_line("2023", "+032"), records({{{2023, 2, 1}, 31.0}})},
        {"day with an inner blank", make_dtc_line("2023", "1 2"), error(1, "doy")},
        {"blank year", make_dtc_line("", "1"), error(1, "year")},
        {"year with a letter", make_dtc_line("19x7", "1"), error(1, "year")},
        {"digits in bytes 0-3", dtc_line([](DtcFields& f) { f.tag = "1234"; }), records({{{1997, 1, 1}, 31.0}})},
        {"blanks in bytes 0-3", dtc_line([](DtcFields& f) { f.tag = "    "; }), records({{{1997, 1, 1}, 31.0}})},
        {"non-ASCII in bytes 0-3", dtc_line([](DtcFields& f) { f.tag = "éab"; }), records({{{1997, 1, 1}, 31.0}})},
        {"anything after byte 108", dtc_line([](DtcFields& f) { f.tail = "x 1.5 € #"; }),
         records({{{1997, 1, 1}, 31.0}})},
        {"exactly 109 bytes", line, records({{{1997, 1, 1}, 31.0}})},
        {"108 bytes", line.substr(0, 108), error(1, "line too short")},
        {"blank hour", dtc_line([](DtcFields& f) { f.hours[5] = "    "; }), error(1, "Dtc")},
        {"blank last hour", dtc_line([](DtcFields& f) { f.hours[23] = ""; }), error(1, "Dtc")},
        {"decimal hour", dtc_line([](DtcFields& f) { f.hours[0] = "1.5"; }), error(1, "Dtc")},
        {"NBSP inside the year field", make_dtc_line(test::utf8(0xA0) + "97", "1"), records({{{97, 1, 1}, 31.0}})},
        {"character cut by a field boundary", dtc_line([](DtcFields& f) {
             f.hours[3] = "123\xC3";
             f.hours[4] = "\xA9 12";
         }),
         error(1, "Dtc")},
        {"indented line reads shifted fields",
         indented(make_dtc_line("1997", "1", "1111")),  // year " 199", day "7    ", hours "1" + "111"
         records({{{199, 1, 7}, 1111.0}})},
        {"indented line that no longer reads", indented(line), error(1, "Dtc")},
        {"year checked before day", make_dtc_line("x", "x"), error(1, "year")},
        {"day checked before hours", make_dtc_line("2023", "x", "x"), error(1, "doy")},
        {"day range checked before hours", make_dtc_line("2023", "0", "x"), error(1, "invalid day-of-year")},
        {"length checked before fields", make_dtc_line("x", "x").substr(0, 108), error(1, "line too short")},
    };
    check(cases);
}

TEST(SetDtcfile, Files) {
    const std::string line = make_dtc_line("1997", "1");
    const std::string line2 = make_dtc_line("1997", "2", "10");
    const std::string short_line = line.substr(0, 108);
    const Case cases[] = {
        {"empty file", "", records({})},
        {"only blank and comment lines", "\n   \n\t \t\n# header\n  # indented comment\n", records({})},
        {"long comment line", "   # " + std::string(200, 'x') + "\n", records({})},
        {"last line without LF", line + "\n" + line2, records({{{1997, 1, 1}, 31.0}, {{1997, 1, 2}, 10.0}})},
        {"same day twice", test::lines({line, make_dtc_line("1997", "1", "5")}),
         records({{{1997, 1, 1}, 31.0}, {{1997, 1, 1}, 5.0}})},
        {"rows count skipped lines", test::lines({"# comment", "", short_line}), error(3, "line too short")},
        {"first error discards earlier records", test::lines({line, "", make_dtc_line("1997", "x")}), error(3, "doy")},
        {"CRLF", line + "\r\n" + line2 + "\r\n", records({{{1997, 1, 1}, 31.0}, {{1997, 1, 2}, 10.0}})},
        {"CR before LF is no byte of the line", short_line + "\r\n", error(1, "line too short")},
        {"CR ending the last line stays in it", short_line + "\r", records({{{1997, 1, 1}, (31.0 * 23 + 3) / 24}})},
        {"invalid UTF-8 in a comment", test::lines({line, "# \xFF", short_line}), error(0, "invalid utf-8")},
        {"invalid UTF-8 after byte 108", test::lines({line + "\xC0\xAF"}), error(0, "invalid utf-8")},
        {"invalid UTF-8 in bytes 0-3", test::lines({"\xED\xA0\x80 " + line.substr(4)}), error(0, "invalid utf-8")},
        {"truncated sequence at the end", line + "\n\xE2\x82", error(0, "invalid utf-8")},
        {"BOM before '#' makes a data line", "\xEF\xBB\xBF# " + std::string(200, 'x') + "\n", error(1, "year")},
        {"BOM shifts the first line's fields", test::lines({"\xEF\xBB\xBF" + line, line}), error(1, "year")},
    };
    check(cases);
}

// Every four-byte text over a small alphabet (blank, digits, point, signs,
// exponent, and a byte no path accepts) in one hour field, in turn at
// each position of the pairs read together, beside plain neighbours: the
// mean is what reading that field alone by the general rule gives.
TEST(SetDtcfile, HourPairsAgreeWithTheGeneralPath) {
    constexpr std::string_view alphabet = " 09.-+ex";
    std::string text(4, ' ');
    for (std::size_t n = 0; n < 8 * 8 * 8 * 8; ++n) {
        for (std::size_t i = 0, m = n; i < 4; ++i, m /= alphabet.size()) text[i] = alphabet[m % alphabet.size()];
        DtcFields f;
        f.hours[n % 24] = text;
        const auto r = parse_dtcfile(make_dtc_line(f) + "\n");
        const auto v = read_int<std::int32_t>(trim(text));
        if (!v) {
            test::expect_parse_error(r, 1, "Dtc");
            continue;
        }
        ASSERT_TRUE(r.ok()) << test::hex(text);
        ASSERT_EQ(r.value()[0].get(Field::dtc), (31.0 * 23 + *v) / 24) << test::hex(text);
    }
}

}  // namespace
}  // namespace tarnwick::parsers::set
