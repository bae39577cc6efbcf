// The CelesTrak CSV reader on small inline files and a real excerpt.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "parsers/celestrak/celestrak.hpp"
#include "test_support.hpp"

namespace tarnwick::parsers::celestrak {
namespace {

using test::bits;
using test::show;

const std::string arrays_header = "AP1,AP2,AP3,AP4,AP5,AP6,AP7,AP8,KP1,KP2,KP3,KP4,KP5,KP6,KP7,KP8";
const std::string arrays_cells = "1,2,3,4,5,6,7,8,10,20,30,40,50,60,70,80";
const std::string header = "DATE,F10.7_OBS,F10.7_ADJ,AP_AVG," + arrays_header;

// A data line for `header`: flux 70.1 and 70.2, Ap 5, and both arrays.
std::string line(std::string_view date) {
    return std::string(date) + ",70.1,70.2,5," + arrays_cells;
}

SpaceWeatherRecord full_record(Date d) {
    SpaceWeatherRecord r(d);
    r.set(Field::f10_7_obs, 70.1);
    r.set(Field::f10_7_adj, 70.2);
    r.set(Field::ap_daily, 5);
    r.set_array(Field::ap_3hr, {1, 2, 3, 4, 5, 6, 7, 8});
    r.set_array(Field::kp_3hr, {10, 20, 30, 40, 50, 60, 70, 80});
    return r;
}

std::vector<std::string> shown(const std::vector<SpaceWeatherRecord>& records) {
    std::vector<std::string> out;
    for (const auto& r : records) out.push_back(show(r));
    return out;
}

// ---------------------------------------------------------------------------
// Header

struct HeaderCase {
    std::string header;
    std::string data;
    std::optional<std::array<double, 3>> obs_adj_ap;  // nullopt: MissingHeader
    const char* why;
};

TEST(CelestrakHeader, ColumnsByName) {
    const std::string v = "," + arrays_cells;
    const std::string h = "," + arrays_header;
    const HeaderCase cases[] = {
        {header, "2020-01-01,1,2,3" + v, {{1, 2, 3}}, "published names"},
        {"DATE,F10.7,F10.7A,AP" + h, "2020-01-01,1,2,3" + v, {{1, 2, 3}}, "fallback names"},
        {"DATE,F10.7,F10.7_OBS,F10.7A,F10.7_ADJ,AP,AP_AVG" + h,
         "2020-01-01,1,2,3,4,5,6" + v,
         {{2, 4, 6}},
         "first names win over fallbacks placed before them"},
        {"DATE,F10.7_OBS,F10.7,F10.7_ADJ,F10.7A,AP_AVG,AP" + h,
         "2020-01-01,1,2,3,4,5,6" + v,
         {{1, 3, 5}},
         "first names win over fallbacks placed after them"},
        {" DATE ,\tF10.7_OBS\t,\xC2\xA0"
         "F10.7_ADJ\xE3\x80\x80,AP_AVG \r" +
             h,
         "2020-01-01,1,2,3" + v,
         {{1, 2, 3}},
         "white space around names, a lone CR included"},
        {"DATE,F10.7_OBS,F10.7_ADJ,AP_AVG,F10.7_OBS" + h,
         "2020-01-01,1,2,3,9" + v,
         {{9, 2, 3}},
         "a repeated name takes the later column"},
        {"AP_AVG" + h + ",X,F10.7_ADJ,,F10.7_OBS,DATE",
         "3" + v + ",x,2,,1,2020-01-01",
         {{1, 2, 3}},
         "any column order; unknown and empty names ignored"},
        {header + ",F10.7_OBS_CENTER81,KP9,AP0",
         line("2020-01-01") + ",1,2,3",
         {{70.1, 70.2, 5}},
         "names that only begin like known ones are other columns"},

        {"\"DATE\",F10.7_OBS,F10.7_ADJ,AP_AVG" + h, "2020-01-01,1,2,3" + v, std::nullopt, "quoted name"},
        {"date,f10.7_obs,f10.7_adj,ap_avg" + h, "2020-01-01,1,2,3" + v, std::nullopt, "lower-case names"},
        {"\xEF\xBB\xBF" + header, line("2020-01-01"), std::nullopt, "byte-order mark makes the first name another"},
        {"DATE,F10.7_OBS,F10.7_ADJ,AP_AVG" + h.substr(0, h.size() - 4), "#", std::nullopt,
         "KP8 missing: fails before any data line is read"},
        {"DATE,F10.7_ADJ,AP_AVG" + h, "2020-01-01,2,3" + v, std::nullopt, "no observed flux"},
        {"DATE,F10.7_OBSX,F10.7_ADJ,AP_AVG" + h, "2020-01-01,1,2,3" + v, std::nullopt, "longer name is no match"},
        {"DATE,F10.7_OBS,F10.7_ADJ" + h, "2020-01-01,1,2" + v, std::nullopt, "AP1..AP8 do not stand in for AP"},
        {"F10.7_OBS,F10.7_ADJ,AP_AVG" + h, "1,2,3" + v, std::nullopt, "no DATE"},
        {"DATE;F10.7_OBS;F10.7_ADJ;AP_AVG" + h, "2020-01-01,1,2,3" + v, std::nullopt, "semicolons do not separate"},
        {"DATE,F10.7_OBS,F10.7_ADJ,AP_AVG,AP01" + h.substr(4), "2020-01-01,1,2,3" + v, std::nullopt, "AP01 is not AP1"},
    };
    for (const auto& c : cases) {
        auto result = parse(c.header + "\n" + c.data + "\n");
        if (!c.obs_adj_ap) {
            ASSERT_FALSE(result.ok()) << c.why;
            EXPECT_EQ(result.error(), SpaceWeatherError::missing_header()) << c.why;
            continue;
        }
        ASSERT_TRUE(result.ok()) << c.why << ": " << result.error().display();
        ASSERT_EQ(result.value().size(), 1u) << c.why;
        const auto& r = result.value()[0];
        EXPECT_EQ(r.get(Field::f10_7_obs), (*c.obs_adj_ap)[0]) << c.why;
        EXPECT_EQ(r.get(Field::f10_7_adj), (*c.obs_adj_ap)[1]) << c.why;
        EXPECT_EQ(r.get(Field::ap_daily), (*c.obs_adj_ap)[2]) << c.why;
        EXPECT_TRUE(r.has(Field::ap_3hr) && r.has(Field::kp_3hr)) << c.why;
    }
}

TEST(CelestrakHeader, ArrayElementsFollowTheNumberNotTheColumnOrder) {
    const std::string text =
        "KP8,KP7,KP6,KP5,KP4,KP3,KP2,KP1,AP8,AP7,AP6,AP5,AP4,AP3,AP2,AP1,AP,F10.7A,F10.7,DATE\n"
        "8,7,6,5,4,3,2,1,80,70,60,50,40,30,20,10,0,0,0,2020-01-01\n";
    auto result = parse(text);
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(*result.value()[0].get_array(Field::kp_3hr), (Array8{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(*result.value()[0].get_array(Field::ap_3hr), (Array8{10, 20, 30, 40, 50, 60, 70, 80}));
}

// ---------------------------------------------------------------------------
// Lines and rows

struct RowsCase {
    std::string text;
    std::vector<Date> dates;                 // when it reads
    std::optional<SpaceWeatherError> error;  // when it fails
    const char* why;
};

RowsCase fails(std::string text, SpaceWeatherError e, const char* why) {
    return {std::move(text), {}, std::move(e), why};
}

TEST(CelestrakRows, LinesRowsAndErrors) {
    const Date d1{2020, 1, 1};
    const Date d2{2020, 1, 2};
    const auto missing = SpaceWeatherError::missing_header();
    const auto bad_date = [](std::size_t row) { return SpaceWeatherError::parse(row, "invalid date"); };
    const RowsCase cases[] = {
        fails("", missing, "empty input"),
        {header, {}, {}, "header only, no LF"},
        {header + "\n", {}, {}, "header only"},
        {header + "\n\n \t\n\r\n\xC2\xA0\n", {}, {}, "blank lines of every kind are skipped"},
        fails("\n" + header + "\n" + line("2020-01-01"), missing, "a blank first line is the header"),
        fails(" \t\n" + header + "\n", missing, "a first line of white space is the header"),
        {header + "\n" + line("2020-01-01") + "\n" + line("2020-01-02"), {d1, d2}, {}, "last line without LF"},
        {header + "\r\n" + line("2020-01-01") + "\r\n" + line("2020-01-02") + "\r\n", {d1, d2}, {}, "CRLF"},
        {header + "\n" + line("2020-01-01") + "\r", {d1}, {}, "a lone CR at the end trims away"},
        {header + "\n" + line("2020-01-02") + "\n" + line("2020-01-01"), {d2, d1}, {}, "file order is kept"},
        {header + "\n" + line("2020-01-01") + "\n" + line("2020-01-01"), {d1, d1}, {}, "a repeated day stays twice"},
        {header + "\n" + line("  2020-01-01 "), {d1}, {}, "the date cell is trimmed"},
        fails(header + "\n#" + line("2020-01-01"), bad_date(2), "the first data line is row 2"),
        fails(header + "\n\n# comment", bad_date(3), "a # line is data; a blank row 2 still counts"),
        fails(header + "\n" + line("2020-01-01") + "\n \n\t\n" + line("2020-13-01"), bad_date(5),
              "blank lines of spaces and tabs are counted"),
        fails(header + "\r\n\r\n" + line("2020-00-01") + "\r\n", bad_date(3), "rows count the same with CRLF"),
        fails(header + "\n,,,,,,", bad_date(2), "a line of commas is not blank"),
        fails(header + "\n" + line("2020-01-01") + "\n" + line("x") + "\n" + line("y"), bad_date(3),
              "the first error ends the call"),
    };
    for (const auto& c : cases) {
        auto result = parse(c.text);
        if (c.error) {
            ASSERT_FALSE(result.ok()) << c.why;
            EXPECT_EQ(result.error(), *c.error) << c.why << ": " << result.error().display();
            continue;
        }
        ASSERT_TRUE(result.ok()) << c.why << ": " << result.error().display();
        std::vector<Date> dates;
        for (const auto& r : result.value()) dates.push_back(r.date);
        EXPECT_EQ(dates, c.dates) << c.why;
    }
}

TEST(CelestrakRows, ErrorTexts) {
    auto empty = parse("");
    ASSERT_FALSE(empty.ok());
    EXPECT_EQ(empty.error().display(), "invalid or missing CSV header");
    auto bad = parse(header + "\n\n# comment\n");
    ASSERT_FALSE(bad.ok());
    EXPECT_EQ(bad.error().display(), "parse error at row 3: invalid date");
}

TEST(CelestrakRows, InvalidUtf8AnywhereFailsTheHeader) {
    std::string text = header + "\n";
    for (int i = 0; i < 2000; ++i) text += line("2020-01-01") + "\n";
    ASSERT_TRUE(parse(text).ok());
    EXPECT_EQ(parse(text + line("2020-01-02") + ",\xE9t\xE9\n").error(), SpaceWeatherError::missing_header())
        << "Latin-1 in an unused cell";
    EXPECT_EQ(parse(text + "\xF0\x9F\x98").error(), SpaceWeatherError::missing_header()) << "cut at the very end";
    EXPECT_EQ(parse(text + "\xED\xA0\x80\n").error(), SpaceWeatherError::missing_header()) << "surrogate";
}

TEST(CelestrakRows, ShortAndLongLines) {
    // DATE last, so a short line loses its date.
    const std::string h = "F10.7_OBS,F10.7_ADJ,AP_AVG," + arrays_header + ",DATE";
    auto short_date = parse(h + "\n70.1,70.2\n");
    ASSERT_FALSE(short_date.ok());
    EXPECT_EQ(short_date.error(), SpaceWeatherError::parse(2, "invalid date"));

    SpaceWeatherRecord only_obs(Date{2020, 1, 1});
    only_obs.set(Field::f10_7_obs, 70.1);
    SpaceWeatherRecord no_kp = full_record(Date{2020, 1, 1});
    no_kp.clear(Field::kp_3hr);
    auto result = parse(header + "\n" + "2020-01-01,70.1\n" +                                 // cells missing
                        line("2020-01-01") + ",1,2,3,4,5,6,7,8,9\n" +                         // cells beyond the header
                        line("2020-01-01").substr(0, line("2020-01-01").size() - 3) + "\n");  // KP8 cut off
    ASSERT_TRUE(result.ok()) << result.error().display();
    EXPECT_EQ(shown(result.value()), shown({only_obs, full_record(Date{2020, 1, 1}), no_kp}));
}

// ---------------------------------------------------------------------------
// Cells

struct DateCase {
    std::string_view cell;
    std::optional<Date> date;
    const char* why;
};

TEST(CelestrakCells, Dates) {
    const DateCase cases[] = {
        {"2020-01-05", Date{2020, 1, 5}, "published form"},
        {"2020-1-5", Date{2020, 1, 5}, "no leading zeros"},
        {"+2020-01-05", Date{2020, 1, 5}, "plus on the year"},
        {"2020-+1-+5", Date{2020, 1, 5}, "plus on month and day"},
        {"2020-001-031", Date{2020, 1, 31}, "extra leading zeros"},
        {"0000000002020-01-01", Date{2020, 1, 1}, "many leading zeros on the year"},
        {" \t2020-01-05\xE3\x80\x80", Date{2020, 1, 5}, "white space around the cell"},
        {"2021-02-30", Date{2021, 2, 30}, "day not checked against the month"},
        {"2020-12-31", Date{2020, 12, 31}, "largest month and day"},
        {"0-1-1", Date{0, 1, 1}, "year 0"},
        {"2147483647-12-31", Date{2147483647, 12, 31}, "largest year"},

        {"", std::nullopt, "empty"},
        {"2147483648-01-01", std::nullopt, "year one past the largest"},
        {"99999999999999999999999-01-01", std::nullopt, "year far past the largest"},
        {"2020/01/05", std::nullopt, "slashes"},
        {"20200105", std::nullopt, "no separators"},
        {"2020-01-05T00:00", std::nullopt, "time attached"},
        {"2020-13-01", std::nullopt, "month 13"},
        {"2020-00-10", std::nullopt, "month 0"},
        {"2020-256-01", std::nullopt, "month beyond a byte"},
        {"2020-01-32", std::nullopt, "day 32"},
        {"2020-01-00", std::nullopt, "day 0"},
        {"2020-01-257", std::nullopt, "day beyond a byte"},
        {"2020 -01-05", std::nullopt, "space before a hyphen"},
        {"2020- 01-05", std::nullopt, "space after a hyphen"},
        {"2020-01-", std::nullopt, "empty day"},
        {"2020--05", std::nullopt, "empty month"},
        {"-2020-01-05", std::nullopt, "four parts: no negative years"},
        {"2020-01-05-", std::nullopt, "trailing hyphen"},
        {"2020-01", std::nullopt, "two parts"},
        {"++2020-01-05", std::nullopt, "two plus signs"},
        {"+-01-05", std::nullopt, "plus with no digits"},
        {"2020-1e1-05", std::nullopt, "exponent in the month"},
        {"2020.0-01-05", std::nullopt, "point in the year"},
        {"\xEF\xBC\x92\xEF\xBC\x90\xEF\xBC\x92\xEF\xBC\x90-01-05", std::nullopt, "fullwidth digits"},
    };
    // Each cell as the date of a one-line file: its record's date, or the row's error.
    for (const auto& c : cases) {
        const auto got = parse(header + "\n" + std::string(c.cell) + ",70.1\n");
        const auto date = got.ok() ? std::optional(got.value().at(0).date) : std::nullopt;
        EXPECT_EQ(date, c.date) << test::hex(c.cell) << ": " << c.why;
        if (!got.ok()) {
            EXPECT_EQ(got.error(), SpaceWeatherError::parse(2, "invalid date")) << c.why;
        }
    }
}

struct ValueCellCase {
    std::string_view cell;
    std::optional<double> value;
    const char* why;
};

TEST(CelestrakCells, Values) {
    const double inf = std::numeric_limits<double>::infinity();
    const ValueCellCase cases[] = {
        {" 70.5 ", 70.5, "spaces around"},
        {"\t70.5\r", 70.5, "tab and CR around"},
        {"9999.90", 9999.9, "not the sentinel text"},
        {"099999", 99999, "not the sentinel text"},
        {"999.90", 999.9, "not the sentinel text"},
        {"-9999.9", -9999.9, "signed sentinel is a number"},
        {"+99999", 99999, "signed sentinel is a number"},
        {"9999.9e0", 9999.9, "sentinel with exponent is a number"},
        {"1e3", 1000, "exponent"},
        {"-1", -1, "negative, no range check"},
        {"0.05", 0.05, "zero after the point"},
        {"inf", inf, "infinity is a value"},
        {"-0", -0.0, "negative zero kept"},

        {"", std::nullopt, "empty"},
        {" \t ", std::nullopt, "blank"},
        {"9999.9", std::nullopt, "flux sentinel"},
        {"99999", std::nullopt, "sentinel"},
        {"999.9", std::nullopt, "sentinel"},
        {" 9999.9\t", std::nullopt, "sentinel compared after trimming"},
        {"abc", std::nullopt, "text"},
        {"-", std::nullopt, "lone minus"},
        {"7 5", std::nullopt, "inner space"},
        {"\"70.5\"", std::nullopt, "quotes are part of the cell"},
    };
    for (const auto& c : cases) {
        const auto v = parse_f64_opt(c.cell);
        ASSERT_EQ(v.has_value(), c.value.has_value()) << test::hex(c.cell) << ": " << c.why;
        if (v) {
            EXPECT_EQ(bits(*v), bits(*c.value)) << test::hex(c.cell) << ": " << c.why;
        }
    }
    const auto nan = parse_f64_opt("nan");
    ASSERT_TRUE(nan.has_value());
    EXPECT_TRUE(std::isnan(*nan));
}

// One unreadable cell in a group of eight drops the whole group and nothing else.
TEST(CelestrakCells, ArrayGroupsAreWholeOrAbsent) {
    const std::string_view bad_cells[] = {"", " ", "9999.9", "99999", "999.9", "abc"};
    for (const bool kp : {false, true}) {
        for (std::size_t k = 0; k < 8; ++k) {
            for (const auto bad : bad_cells) {
                std::vector<std::string> cells{"2020-01-01", "70.1", "70.2", "5"};
                for (int i = 1; i <= 8; ++i) cells.push_back(std::to_string(i));
                for (int i = 1; i <= 8; ++i) cells.push_back(std::to_string(10 * i));
                cells[(kp ? 12u : 4u) + k] = bad;
                std::string data;
                for (const auto& cell : cells) data += (data.empty() ? "" : ",") + cell;

                auto result = parse(header + "\n" + data + "\n");
                ASSERT_TRUE(result.ok());
                SpaceWeatherRecord expected = full_record(Date{2020, 1, 1});
                expected.clear(kp ? Field::kp_3hr : Field::ap_3hr);
                ASSERT_EQ(show(result.value()[0]), show(expected))
                    << (kp ? "KP" : "AP") << k + 1 << " = \"" << bad << "\"";
            }
        }
    }
}

// Every text of one to six bytes over a small alphabet (blank, digits,
// point, signs, exponent, and a byte no path accepts), as the three scalar
// cells and as one ap and one Kp cell beside seven plain ones, at each
// position of the group in turn: the record is what reading each cell
// alone by the general rule gives. Groups of short digit cells take the
// grouped path, everything else the cell-by-cell one.
TEST(CelestrakCells, GroupedCellsAgreeWithTheGeneralPath) {
    constexpr std::string_view alphabet = " 09.-+ex";
    std::string file = header + "\n";
    std::vector<SpaceWeatherRecord> expected;
    for (std::size_t width = 1, n = 0; width <= 6; ++width) {
        std::string text(width, ' ');
        std::size_t count = 1;
        for (std::size_t i = 0; i < width; ++i) count *= alphabet.size();
        for (std::size_t c = 0; c < count; ++c, ++n) {
            for (std::size_t i = 0, m = c; i < width; ++i, m /= alphabet.size())
                text[i] = alphabet[m % alphabet.size()];
            const auto v = parse_f64_opt(text);
            SpaceWeatherRecord r(Date{2020, 1, 1});
            file += "2020-01-01," + text + "," + text + "," + text;
            if (v) {
                r.set(Field::f10_7_obs, *v);
                r.set(Field::f10_7_adj, *v);
                r.set(Field::ap_daily, *v);
            }
            for (const std::size_t at : {n % 8, (n + 3) % 8}) {
                Array8 group;
                group.fill(1);
                group[at] = v.value_or(0);
                for (std::size_t k = 0; k < 8; ++k) file += k == at ? "," + text : ",1";
                if (v) (at == n % 8 ? r.set_array(Field::ap_3hr, group) : r.set_array(Field::kp_3hr, group));
            }
            file += "\n";
            expected.push_back(r);
        }
    }
    const auto got = parse(file);
    ASSERT_TRUE(got.ok()) << got.error().display();
    ASSERT_EQ(got.value().size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        ASSERT_EQ(show(got.value()[i]), show(expected[i])) << "line " << i + 2;
}

// ---------------------------------------------------------------------------
// A real excerpt

TEST(CelestrakExcerpt, LfAndCrlfGiveTheSameRecords) {
    const std::string lf = test::read_test_data("sw_excerpt_lf.csv");
    const std::string crlf = test::read_test_data("sw_excerpt_crlf.csv");
    ASSERT_FALSE(lf.empty());
    ASSERT_NE(lf, crlf);
    auto a = parse(lf);
    auto b = parse(crlf);
    ASSERT_TRUE(a.ok() && b.ok());
    ASSERT_EQ(a.value().size(), 6u);
    EXPECT_EQ(shown(a.value()), shown(b.value()));

    SpaceWeatherRecord first(Date{1957, 10, 1});
    first.set(Field::f10_7_obs, 269.3);
    first.set(Field::f10_7_adj, 269.8);
    first.set(Field::ap_daily, 21);
    first.set_array(Field::ap_3hr, {32, 27, 15, 7, 22, 9, 32, 22});
    first.set_array(Field::kp_3hr, {43, 40, 30, 20, 37, 23, 43, 37});
    EXPECT_EQ(show(a.value()[0]), show(first));

    SpaceWeatherRecord monthly(Date{2041, 10, 1});  // Kp and Ap cells are empty on monthly predictions
    monthly.set(Field::f10_7_obs, 69.8);
    monthly.set(Field::f10_7_adj, 70.0);
    EXPECT_EQ(show(a.value()[5]), show(monthly));
    EXPECT_EQ(a.value()[2].get(Field::f10_7_obs), 938.6);  // a real flare reading, not a sentinel
}

}  // namespace
}  // namespace tarnwick::parsers::celestrak
