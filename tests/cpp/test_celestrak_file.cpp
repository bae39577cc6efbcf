// The CelesTrak reader on a real published file (examples/data/SW-Last5Years.csv).
#include <gtest/gtest.h>

#include <string>

#include "parsers/celestrak/celestrak.hpp"
#include "test_support.hpp"

namespace tarnwick::parsers::celestrak {
namespace {

TEST(CelestrakFile, LastFiveYearsGivesEveryRowWithItsValues) {
    const std::string bytes = test::read_example_data("SW-Last5Years.csv");
    ASSERT_FALSE(bytes.empty());
    auto result = parse(bytes);
    ASSERT_TRUE(result.ok()) << result.error().display();
    const auto& records = result.value();
    ASSERT_EQ(records.size(), 2190u);  // 1956 OBS, 6 INT, 45 PRD and 183 PRM lines

    const auto& first = records.front();
    EXPECT_EQ(first.date, (Date{2021, 1, 1}));
    ASSERT_NE(first.get_array(Field::kp_3hr), nullptr);
    EXPECT_EQ(*first.get_array(Field::kp_3hr), (Array8{0, 3, 7, 3, 3, 13, 7, 7}));  // tenths, as published

    // Monthly prediction rows: no Kp/Ap cells, flux present.
    const auto& last = records.back();
    EXPECT_EQ(last.date, (Date{2041, 10, 1}));
    EXPECT_FALSE(last.has(Field::kp_3hr));
    EXPECT_FALSE(last.has(Field::ap_3hr));
    EXPECT_FALSE(last.has(Field::ap_daily));
    EXPECT_EQ(last.get(Field::f10_7_obs), 69.8);
    EXPECT_EQ(last.get(Field::f10_7_adj), 70.0);
}

TEST(CelestrakFile, StormDayKeepsItsExtremeIndices) {
    auto result = parse(test::read_example_data("SW-Last5Years.csv"));
    ASSERT_TRUE(result.ok());
    bool found = false;
    for (const auto& r : result.value()) {
        if (r.date == Date{2024, 5, 11}) {
            EXPECT_EQ(r.get(Field::ap_daily), 271.0);
            EXPECT_EQ(*r.get_array(Field::kp_3hr), (Array8{90, 83, 83, 90, 87, 83, 77, 77}));
            EXPECT_EQ(*r.get_array(Field::ap_3hr), (Array8{400, 236, 236, 400, 300, 236, 179, 179}));
            found = true;
        }
    }
    EXPECT_TRUE(found);
}

}  // namespace
}  // namespace tarnwick::parsers::celestrak
