#include "record.hpp"

#include <cstring>

namespace tarnwick {

void SpaceWeatherRecord::fill_absent_from(const SpaceWeatherRecord& other) noexcept {
    const auto missing = static_cast<std::uint16_t>(other.present_ & ~present_);
    if (missing == 0) return;
    for (std::size_t i = 0; i < field_count; ++i) {
        const auto f = static_cast<Field>(i);
        if ((missing & bit(f)) == 0) continue;
        if (f == Field::ap_3hr) {
            ap_3hr_ = other.ap_3hr_;
        } else if (f == Field::kp_3hr) {
            kp_3hr_ = other.kp_3hr_;
        } else {
            scalars_[scalar_slot(f)] = other.scalars_[scalar_slot(f)];
        }
    }
    present_ = static_cast<std::uint16_t>(present_ | missing);
}

bool operator==(const SpaceWeatherRecord& a, const SpaceWeatherRecord& b) noexcept {
    if (a.date != b.date || a.present_ != b.present_) return false;
    for (std::size_t i = 0; i < field_count; ++i) {
        const auto f = static_cast<Field>(i);
        if (!a.has(f)) continue;
        if (is_array_field(f)) {
            if (std::memcmp(a.get_array(f)->data(), b.get_array(f)->data(), sizeof(Array8)) != 0) return false;
        } else {
            const std::size_t s = SpaceWeatherRecord::scalar_slot(f);
            if (std::memcmp(&a.scalars_[s], &b.scalars_[s], sizeof(double)) != 0) return false;
        }
    }
    return true;
}

}  // namespace tarnwick
