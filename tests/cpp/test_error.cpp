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
        {SpaceWeatherError::parse(0, "invalid utf-8"), "parse error at row 0: invalid utf-8",
         "row 0 is the whole input"},
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

}  // namespace
}  // namespace tarnwick
