// The query interface of a daily series.
#pragma once

#include <functional>
#include <vector>

#include "date.hpp"
#include "record.hpp"

namespace tarnwick {

using RecordRef = std::reference_wrapper<const SpaceWeatherRecord>;

class SpaceWeatherIndex {
public:
    virtual ~SpaceWeatherIndex() = default;

    // The records from `start` to `end`, both included, in ascending date
    // order; empty when start is later than end. The references stay valid
    // until the series is next changed.
    [[nodiscard]] virtual std::vector<RecordRef> get_range(Date start, Date end) const = 0;

protected:
    SpaceWeatherIndex() = default;
    SpaceWeatherIndex(const SpaceWeatherIndex&) = default;
    SpaceWeatherIndex(SpaceWeatherIndex&&) = default;
    SpaceWeatherIndex& operator=(const SpaceWeatherIndex&) = default;
    SpaceWeatherIndex& operator=(SpaceWeatherIndex&&) = default;
};

}  // namespace tarnwick
