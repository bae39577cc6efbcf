// Any bytes as a SET DTCFILE text.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "check.hpp"
#include "parsers/set/set.hpp"

using namespace tarnwick;

namespace {

void check(std::string_view bytes) {
    const std::size_t size = bytes.size();
    const auto got = fuzz::read_both_ways(parsers::set::parse_dtcfile, bytes);
    fuzz::expect_same(got, fuzz::dtcfile(bytes));
    if (!got) {
        static constexpr std::string_view fields[] = {"Dtc"};
        fuzz::expect_set_error(got.error(), bytes, fields);
        return;
    }
    FUZZ_CHECK(got.value().size() <= fuzz::line_count(bytes));
    for (const auto& r : got.value()) {
        fuzz::expect_calendar_day(r.date);
        const auto dtc = r.get(Field::dtc);
        FUZZ_CHECK(dtc && std::abs(*dtc) <= 2147483648.0);
    }
    fuzz::check_store(got.value(), size);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    check(fuzz::published_dtcfile(bytes));
    check(bytes);
    return 0;
}
