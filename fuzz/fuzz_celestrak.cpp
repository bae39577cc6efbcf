// Any bytes as a CelesTrak CSV file.
#include <cstddef>
#include <cstdint>

#include "check.hpp"
#include "parsers/celestrak/celestrak.hpp"

using namespace tarnwick;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto got = fuzz::read_both_ways(parsers::celestrak::parse, bytes);
    fuzz::expect_same(got, fuzz::celestrak(bytes));
    if (!got) {
        const SpaceWeatherError& e = got.error();
        if (e.kind() == SpaceWeatherError::Kind::Parse) {
            FUZZ_CHECK(e.message() == "invalid date");
            FUZZ_CHECK(e.row() >= 2 && e.row() <= fuzz::line_count(bytes));
        }
        return 0;
    }
    FUZZ_CHECK(got.value().size() < std::max<std::size_t>(fuzz::line_count(bytes), 1));
    fuzz::check_store(got.value(), size);
    return 0;
}
