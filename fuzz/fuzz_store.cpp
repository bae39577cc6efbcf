// Records made from bytes (few distinct days, so many repeats, and every
// mix of present fields) through from_records, get, get_range and merge.
#include <cstddef>
#include <cstdint>

#include "check.hpp"

using namespace tarnwick;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    std::vector<SpaceWeatherRecord> records;
    // Four bytes a record: the day, two bytes of present fields, a value.
    for (std::size_t i = 1; i + 4 <= size; i += 4) {
        const std::uint8_t* p = data + i;
        SpaceWeatherRecord r(Date{1999 + (p[0] >> 6), static_cast<std::uint8_t>(12 - (p[0] >> 3 & 7)),
                                  static_cast<std::uint8_t>(1 + (p[0] & 7))});
        const unsigned mask = p[1] | static_cast<unsigned>(p[2]) << 8;
        const double v = static_cast<double>(p[3]) + static_cast<double>(i);
        for (std::size_t f = 0; f < field_count; ++f) {
            if ((mask >> f & 1) == 0) continue;
            if (is_array_field(static_cast<Field>(f))) {
                r.set_array(ArrayField::of(static_cast<Field>(f)),
                            Array8{v, v + 1, v + 2, v + 3, v + 4, v + 5, v + 6, v + 7});
            } else {
                r.set(ScalarField::of(static_cast<Field>(f)), v);
            }
        }
        records.push_back(r);
    }
    fuzz::check_store(records, data[0]);
    return 0;
}
