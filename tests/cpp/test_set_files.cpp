// The SET readers on published files: the short excerpts under tests/data
// and the four years of each file shipped in examples/data.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "parsers/set/set.hpp"
#include "test_support.hpp"

namespace tarnwick::parsers::set {
namespace {

std::vector<SpaceWeatherRecord> read_ok(const Result<std::vector<SpaceWeatherRecord>>& r) {
    EXPECT_TRUE(r.ok()) << r.error().display();
    return r.ok() ? r.value() : std::vector<SpaceWeatherRecord>{};
}

void expect_strictly_ascending(const std::vector<SpaceWeatherRecord>& records) {
    for (std::size_t i = 1; i < records.size(); ++i) {
        ASSERT_LT(records[i - 1].date, records[i].date) << "at " << i;
    }
}

TEST(SetFiles, DtcfileExcerpt) {
    const auto records = read_ok(parse_dtcfile(test::read_test_data("dtcfile_excerpt.txt")));
    ASSERT_EQ(records.size(), 3u);
    const struct {
        Date date;
        double sum;  // of the line's 24 values
    } expected[] = {
        {{1997, 1, 1}, 894},
        {{1997, 1, 2}, 911},
        {{2011, 3, 7}, 1230},
    };
    for (std::size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(records[i].date, expected[i].date) << i;
        EXPECT_EQ(records[i].get(Field::dtc), expected[i].sum / 24.0) << i;
    }
    EXPECT_EQ(parse_dtcfile(test::read_test_data("dtcfile_excerpt_crlf.txt")).value(), records);
}

TEST(SetFiles, SolfsmyExcerpt) {
    // Four '#' header lines, one of 1,606 bytes, then three data lines.
    const auto records = read_ok(parse_solfsmy(test::read_test_data("solfsmy_excerpt.txt")));
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].date, (Date{1997, 1, 1}));
    EXPECT_EQ(records[1].date, (Date{1997, 1, 2}));
    const auto& last = records[2];
    EXPECT_EQ(last.date, (Date{2011, 3, 7}));
    EXPECT_EQ(last.get(Field::f10_7_jb), 160.5);
    EXPECT_EQ(last.get(Field::f10_7_jb_81c), 105.5);
    EXPECT_EQ(last.get(Field::s10_7), 118.4);
    EXPECT_EQ(last.get(Field::m10_7), 104.7);
    EXPECT_EQ(last.get(Field::y10_7), 134.2);
    EXPECT_EQ(parse_solfsmy(test::read_test_data("solfsmy_excerpt_crlf.txt")).value(), records);
}

TEST(SetFiles, DtcfileYears) {
    const std::string bytes = test::read_example_data("DTCFILE_2021-2024.TXT");
    ASSERT_FALSE(bytes.empty());
    const auto records = read_ok(parse_dtcfile(bytes));
    ASSERT_EQ(records.size(), 1388u);
    EXPECT_EQ(records.front().date, (Date{2021, 1, 1}));
    EXPECT_EQ(records.back().date, (Date{2024, 10, 19}));
    EXPECT_EQ(records.front().get(Field::dtc), 336.0 / 24.0);
    expect_strictly_ascending(records);
}

TEST(SetFiles, SolfsmyYears) {
    const std::string bytes = test::read_example_data("SOLFSMY_2021-2024.TXT");
    ASSERT_FALSE(bytes.empty());
    const auto records = read_ok(parse_solfsmy(bytes));
    ASSERT_EQ(records.size(), 1461u);
    const auto& first = records.front();
    EXPECT_EQ(first.date, (Date{2021, 1, 1}));
    EXPECT_EQ(records.back().date, (Date{2024, 12, 31}));
    EXPECT_EQ(first.get(Field::f10_7_jb), 80.0);
    EXPECT_EQ(first.get(Field::f10_7_jb_81c), 83.0);
    EXPECT_EQ(first.get(Field::s10_7), 74.4);
    EXPECT_EQ(first.get(Field::m10_7), 90.9);
    EXPECT_EQ(first.get(Field::y10_7), 89.1);
    expect_strictly_ascending(records);
}

TEST(SetFiles, SolfsmyCutAtTheDtcfileEndHasTheDtcfileDays) {
    // An issue of SOLFSMY published on the DTCFILE's day ends on the same day.
    std::string sol = test::read_example_data("SOLFSMY_2021-2024.TXT");
    const std::size_t cut = sol.find('\n', sol.find("  2024 293 "));
    ASSERT_NE(cut, std::string::npos);
    sol.resize(cut + 1);
    const auto sol_records = read_ok(parse_solfsmy(sol));
    const auto dtc_records = read_ok(parse_dtcfile(test::read_example_data("DTCFILE_2021-2024.TXT")));
    ASSERT_EQ(sol_records.size(), dtc_records.size());
    for (std::size_t i = 0; i < sol_records.size(); ++i) ASSERT_EQ(sol_records[i].date, dtc_records[i].date) << i;
}

}  // namespace
}  // namespace tarnwick::parsers::set
