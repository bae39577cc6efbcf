// Any bytes as a SET SOLFSMY text.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "check.hpp"
#include "parsers/set/set.hpp"

using namespace tarnwick;

namespace {

void check(std::string_view bytes) {
    const std::size_t size = bytes.size();
    const auto got = fuzz::read_both_ways(parsers::set::parse_solfsmy, bytes);
    fuzz::expect_same(got, fuzz::solfsmy(bytes));
    if (!got) {
        static constexpr std::string_view fields[] = {"F10.7", "F81c", "S10.7", "M10.7", "Y10.7"};
        fuzz::expect_set_error(got.error(), bytes, fields);
        return;
    }
    FUZZ_CHECK(got.value().size() <= fuzz::line_count(bytes));
    for (const auto& r : got.value()) {
        fuzz::expect_calendar_day(r.date);
        for (const Field f : {Field::f10_7_jb, Field::f10_7_jb_81c, Field::s10_7, Field::m10_7, Field::y10_7}) {
            FUZZ_CHECK(r.has(f));
        }
        FUZZ_CHECK(!r.has(Field::dtc) && !r.has(Field::f10_7_obs) && !r.has(Field::ap_3hr));
    }
    fuzz::check_store(got.value(), size);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    check(fuzz::published_solfsmy(bytes));
    check(bytes);
    return 0;
}
