// A calendar day: the key every series is sorted and looked up by.
#pragma once

#include <compare>
#include <cstdint>

namespace tarnwick {

// A plain value. It checks nothing: month 13 or February 30 can be held and
// compared; they only fail when turned into a Python datetime.date.
struct Date {
    std::int32_t year = 0;
    std::uint8_t month = 0;
    std::uint8_t day = 0;

    friend constexpr bool operator==(const Date&, const Date&) = default;
    // Year as a signed number first, then month, then day.
    friend constexpr std::strong_ordering operator<=>(const Date&, const Date&) = default;
};

}  // namespace tarnwick
