// The texts a Python user reads for each error.

#include <gtest/gtest.h>

#include <string>

#include "error.hpp"

namespace tarnwick {
namespace {

struct DisplayCase {
    SpaceWeatherError error;
    std::string text;
    const char* why;
};

TEST(Error, Display) {
    const DisplayCase cases[] = {
        {SpaceWeatherError::missing_header(), "invalid or missing CSV header", "fixed text"},
        {SpaceWeatherError::parse(0, "invalid utf-8"), "parse error at row 0: invalid utf-8", "row 0 is the whole input"},
        {SpaceWeatherError::parse(12, "invalid date"), "parse error at row 12: invalid date", "two digits"},
        {SpaceWeatherError::parse(1234567, "line too short"), "parse error at row 1234567: line too short",
         "seven digits, no separators"},
        {SpaceWeatherError::parse(18446744073709551615u, "x"), "parse error at row 18446744073709551615: x",
         "largest row"},
        {SpaceWeatherError::parse(3, ""), "parse error at row 3: ", "empty message"},
        {SpaceWeatherError::parse(3, "{} 100% \"q\"\n"), "parse error at row 3: {} 100% \"q\"\n",
         "message copied as is, not formatted or escaped"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.error.display(), c.text) << c.why;
    }
}

TEST(Error, KindRowAndMessage) {
    const auto missing = SpaceWeatherError::missing_header();
    EXPECT_EQ(missing.kind(), SpaceWeatherError::Kind::MissingHeader);
    EXPECT_EQ(missing.message(), "");

    const auto parse = SpaceWeatherError::parse(12, "invalid date");
    EXPECT_EQ(parse.kind(), SpaceWeatherError::Kind::Parse);
    EXPECT_EQ(parse.row(), 12u);
    EXPECT_EQ(parse.message(), "invalid date");
}

TEST(Error, ResultHoldsValueOrError) {
    Result<int> good(7);
    ASSERT_TRUE(good.ok());
    EXPECT_EQ(good.value(), 7);

    Result<int> bad(SpaceWeatherError::parse(2, "invalid date"));
    ASSERT_FALSE(bad);
    EXPECT_EQ(std::move(bad).error(), SpaceWeatherError::parse(2, "invalid date"));
}

}  // namespace
}  // namespace tarnwick
