#include <cassert>
#include <cstdint>
#include <cstring>

#include "../decimal.hpp"
#include "set.hpp"
#include "set_text.hpp"

namespace tarnwick::parsers::set {

namespace {

// DTCFILE columns, 0-based byte offsets into the untrimmed line. The
// published file writes "DTC" and the year as I5 over bytes 0-7, the day
// of the year as I4 and a blank over 8-12, then the 24 hourly values as I4
// each. Bytes 0-3 carry only the tag and are never read, so the year is
// the four bytes 4-7; the day field takes the blank along.
constexpr detail::DateColumns date_columns{4, 4, 8, 5};
constexpr std::size_t hours_begin = 13;
constexpr std::size_t hour_width = 4;
constexpr std::size_t hours = 24;
constexpr std::size_t min_length = hours_begin + hours * hour_width;  // 109; later bytes are ignored

// Two neighbouring hourly fields in the eight bytes at `p`, as published:
// each blanks and then one to four digits, right-aligned. True and their
// values in the low and the high half of `out`; any other form (a sign, a
// tab, a blank after a digit) gives false and is read field by field.
bool read_hour_pair(const char* p, [[maybe_unused]] std::size_t readable, std::uint64_t& out) noexcept {
    assert(readable >= 8);
    using namespace parsers::detail;
    if constexpr (!words_little_endian) return false;
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    const std::uint64_t digits = digit_bytes(w);
    const std::uint64_t blanks = zero_bytes(w ^ bytes_of(' '));
    constexpr std::uint64_t last_bytes = 0x8000000080000000ULL;  // bytes 3 and 7
    constexpr std::uint64_t first_of_second = 0x0000008000000000ULL;  // byte 4
    if ((digits | blanks) != bytes_of(0x80) || (digits & last_bytes) != last_bytes ||
        (blanks & (digits << 8) & ~first_of_second) != 0) {
        return false;
    }
    out = four_digit_halves(w & bytes_of(0x0F));  // blanks read as zeros in front
    return true;
}

std::string_view read_dtc_line(std::string_view line, SpaceWeatherRecord& record) noexcept {
    if (const std::string_view failed = detail::read_date(line, date_columns, record.date); !failed.empty()) {
        return failed;
    }
    // Summed as integers: every partial sum of 24 values of 32 bits is far
    // below 2^53, so a float64 sum would be exact too, and give the same.
    std::int64_t sum = 0;
    for (std::size_t k = 0; k < hours; k += 2) {
        std::uint64_t pair;
        const std::size_t begin = hours_begin + k * hour_width;
        if (read_hour_pair(line.data() + begin, line.size() - begin, pair)) {
            sum += static_cast<std::int64_t>((pair & 0xFFFF) + (pair >> 32));
            continue;
        }
        for (std::size_t j = k; j < k + 2; ++j) {
            const auto v = detail::read_int_field<std::int32_t>(line, hours_begin + j * hour_width, hour_width);
            if (!v) return "Dtc";
            sum += *v;
        }
    }
    record.set(Field::dtc, static_cast<double>(sum) / static_cast<double>(hours));
    return {};
}

}  // namespace

Result<std::vector<SpaceWeatherRecord>> parse_dtcfile(std::string_view bytes) {
    return detail::read_data_lines(bytes, min_length, read_dtc_line);
}

}  // namespace tarnwick::parsers::set
