// The CelesTrak reader on real published files.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "parsers/celestrak/celestrak.hpp"
#include "test_support.hpp"

namespace tarnwick::parsers::celestrak {
namespace {

TEST(CelestrakFile, SwAllGivesEveryRowWithItsValues) {
    const std::string bytes = test::read_shared_data("SW-All.csv");
    if (bytes.empty()) GTEST_SKIP() << "SW-All.csv not available beside the project";
    auto result = parse(bytes);
    ASSERT_TRUE(result.ok()) << result.error().display();
    const auto& records = result.value();
    ASSERT_EQ(records.size(), 25371u);

    const auto& first = records.front();
    EXPECT_EQ(first.date, (Date{1957, 10, 1}));
    ASSERT_NE(first.get_array(Field::kp_3hr), nullptr);
    EXPECT_EQ(*first.get_array(Field::kp_3hr), (Array8{43, 40, 30, 20, 37, 23, 43, 37}));  // tenths, as published

    // Monthly prediction rows: no Kp/Ap cells, flux present.
    const auto& last = records.back();
    EXPECT_EQ(last.date, (Date{2041, 10, 1}));
    EXPECT_FALSE(last.has(Field::kp_3hr));
    EXPECT_FALSE(last.has(Field::ap_3hr));
    EXPECT_FALSE(last.has(Field::ap_daily));
    EXPECT_TRUE(last.has(Field::f10_7_obs));
    EXPECT_TRUE(last.has(Field::f10_7_adj));
}

TEST(CelestrakFile, FlareDayKeepsItsHighFlux) {
    const std::string bytes = test::read_shared_data("SW-All.csv");
    if (bytes.empty()) GTEST_SKIP() << "SW-All.csv not available beside the project";
    auto result = parse(bytes);
    ASSERT_TRUE(result.ok());
    bool found = false;
    for (const auto& r : result.value()) {
        if (r.date == Date{2011, 3, 7}) {
            EXPECT_EQ(r.get(Field::f10_7_obs), 938.6);
            found = true;
        }
    }
    EXPECT_TRUE(found);
}

}  // namespace
}  // namespace tarnwick::parsers::celestrak
