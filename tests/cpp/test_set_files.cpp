// The SET readers on published files: the excerpts kept under tests/data,
// and the whole files when they are available beside the project.
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

TEST(SetFiles, WholeDtcfile) {
    const std::string bytes = test::read_shared_data("DTCFILE.TXT");
    if (bytes.empty()) GTEST_SKIP() << "DTCFILE.TXT not available beside the project";
    const auto records = read_ok(parse_dtcfile(bytes));
    ASSERT_EQ(records.size(), 10154u);
    EXPECT_EQ(records.front().date, (Date{1997, 1, 1}));
    EXPECT_EQ(records.back().date, (Date{2024, 10, 19}));
    EXPECT_EQ(records.front().get(Field::dtc), 894.0 / 24.0);
    expect_strictly_ascending(records);
}

TEST(SetFiles, WholeSolfsmy) {
    const std::string bytes = test::read_shared_data("SOLFSMY.TXT");
    if (bytes.empty()) GTEST_SKIP() << "SOLFSMY.TXT not available beside the project";
    const auto records = read_ok(parse_solfsmy(bytes));
    ASSERT_EQ(records.size(), 10544u);
    const auto& first = records.front();
    EXPECT_EQ(first.date, (Date{1997, 1, 1}));
    EXPECT_EQ(records.back().date, (Date{2025, 11, 13}));
    EXPECT_EQ(first.get(Field::f10_7_jb), 72.4);
    EXPECT_EQ(first.get(Field::f10_7_jb_81c), 78.0);
    EXPECT_EQ(first.get(Field::s10_7), 74.0);
    EXPECT_EQ(first.get(Field::m10_7), 65.4);
    EXPECT_EQ(first.get(Field::y10_7), 61.9);
    expect_strictly_ascending(records);
}

TEST(SetFiles, OlderSolfsmyIssueEndsWithTheDtcfile) {
    const std::string bytes = test::read_shared_data("SOLFSMY_2024-10-19.TXT");
    if (bytes.empty()) GTEST_SKIP() << "SOLFSMY_2024-10-19.TXT not available beside the project";
    const auto records = read_ok(parse_solfsmy(bytes));
    ASSERT_EQ(records.size(), 10154u);
    EXPECT_EQ(records.back().date, (Date{2024, 10, 19}));
}

}  // namespace
}  // namespace tarnwick::parsers::set
