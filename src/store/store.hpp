// A daily series: records sorted by date, at most one per day.
#pragma once

#include <cstddef>
#include <optional>
#include <utility>
#include <vector>

#include "../index.hpp"
#include "../record.hpp"

namespace tarnwick::store {

class SpaceWeatherStore final : public SpaceWeatherIndex {
public:
    SpaceWeatherStore() noexcept = default;
    SpaceWeatherStore(SpaceWeatherStore&&) noexcept = default;
    SpaceWeatherStore& operator=(SpaceWeatherStore&&) noexcept = default;
    SpaceWeatherStore(const SpaceWeatherStore&) = delete;
    SpaceWeatherStore& operator=(const SpaceWeatherStore&) = delete;
    ~SpaceWeatherStore() override = default;

    // Records in any order, duplicate days allowed: stable sort by date, then
    // dedup_merge. Records of one day are combined in their input order.
    [[nodiscard]] static SpaceWeatherStore from_records(std::vector<SpaceWeatherRecord> records);

    // Collapses each run of equal dates of a date-sorted vector into its
    // first record, in place: every field the kept record lacks is taken
    // from the first later record of that day that has it.
    [[nodiscard]] static std::vector<SpaceWeatherRecord> dedup_merge(std::vector<SpaceWeatherRecord> records);

    // Moves all of `other`'s records into this series and leaves `other`
    // empty. On a day both hold, this series' values win field by field and
    // `other` only fills gaps. If memory for the combined series cannot be
    // had, std::bad_alloc is thrown before either store is touched.
    void merge(SpaceWeatherStore&& other);

    // The record of `date`, or nullptr.
    [[nodiscard]] const SpaceWeatherRecord* get(Date date) const noexcept;

    [[nodiscard]] std::vector<RecordRef> get_range(Date start, Date end) const override;

    // (first day, last day), or nothing for an empty series.
    [[nodiscard]] std::optional<std::pair<Date, Date>> date_range() const noexcept;

    [[nodiscard]] std::size_t len() const noexcept { return records_.size(); }

    // The whole series in date order; valid until the next merge.
    [[nodiscard]] const std::vector<SpaceWeatherRecord>& records() const noexcept { return records_; }

private:
    explicit SpaceWeatherStore(std::vector<SpaceWeatherRecord> records) noexcept : records_(std::move(records)) {}

    std::vector<SpaceWeatherRecord> records_;
};

}  // namespace tarnwick::store
