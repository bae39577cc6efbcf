// What every fuzz target asserts: the reader agrees with the plain
// re-implementation, its errors are of the kinds the format allows, and
// the store built from its records keeps the series' invariants.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <span>
#include <string_view>
#include <vector>

#include "parsers/kernel.hpp"
#include "reference.hpp"
#include "store/store.hpp"

// Active in every build type: a fuzz target is nothing without its checks.
#define FUZZ_CHECK(cond)                                                                         \
    do {                                                                                         \
        if (!(cond)) {                                                                           \
            std::fprintf(stderr, "fuzz check failed: %s at %s:%d\n", #cond, __FILE__, __LINE__); \
            std::abort();                                                                        \
        }                                                                                        \
    } while (0)

namespace tarnwick::fuzz {

inline std::size_t line_count(std::string_view bytes) {
    return lines_of(bytes).size();
}

// `read(bytes)` with the CPU's structural kernel, after checking that the
// portable kernel gives the same answer.
template <class Read>
Result<std::vector<SpaceWeatherRecord>> read_both_ways(Read read, std::string_view bytes) {
    parsers::force_portable_kernel(true);
    const auto portable = read(bytes);
    parsers::force_portable_kernel(false);
    auto got = read(bytes);
    FUZZ_CHECK(got.ok() == portable.ok());
    if (got.ok()) {
        FUZZ_CHECK(got.value() == portable.value());
    } else {
        FUZZ_CHECK(got.error() == portable.error());
    }
    return got;
}

inline void expect_same(const Result<std::vector<SpaceWeatherRecord>>& got, const Outcome& want) {
    if (const auto* records = std::get_if<0>(&want)) {
        FUZZ_CHECK(got.ok());
        FUZZ_CHECK(got.value().size() == records->size());
        for (std::size_t i = 0; i < records->size(); ++i) FUZZ_CHECK(got.value()[i] == (*records)[i]);
    } else {
        FUZZ_CHECK(!got.ok());
        FUZZ_CHECK(got.error() == std::get<1>(want));
    }
}

// Error kinds and rows a SET reader may give for `bytes`.
inline void expect_set_error(const SpaceWeatherError& e, std::string_view bytes,
                             std::span<const std::string_view> fields) {
    FUZZ_CHECK(e.kind() == SpaceWeatherError::Kind::Parse);
    if (e.row() == 0) {
        FUZZ_CHECK(e.message() == "invalid utf-8");
        return;
    }
    FUZZ_CHECK(e.row() <= line_count(bytes));
    bool known = e.message() == "line too short" || e.message() == "year" || e.message() == "doy" ||
                 e.message() == "invalid day-of-year";
    for (const std::string_view f : fields) known = known || e.message() == f;
    FUZZ_CHECK(known);
}

// A SET record carries a real calendar day.
inline void expect_calendar_day(Date d) {
    static constexpr int length[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    FUZZ_CHECK(d.month >= 1 && d.month <= 12);
    FUZZ_CHECK(d.day >= 1 && d.day <= length[d.month - 1]);
    if (d.month == 2 && d.day == 29) FUZZ_CHECK((d.year % 4 == 0 && d.year % 100 != 0) || d.year % 400 == 0);
}

// The store from `records`, then the store merged from the two halves cut
// at `cut`: both must equal a per-day map built in input order.
inline void check_store(const std::vector<SpaceWeatherRecord>& records, std::size_t cut) {
    std::map<Date, SpaceWeatherRecord> days;
    for (const auto& r : records) {
        auto [it, fresh] = days.try_emplace(r.date, r);
        if (!fresh) fill_gaps(it->second, r);
    }

    const auto whole = store::SpaceWeatherStore::from_records(records);
    const auto& kept = whole.records();
    FUZZ_CHECK(kept.size() == days.size());
    FUZZ_CHECK(whole.len() == days.size());
    std::size_t i = 0;
    for (const auto& [date, rec] : days) {
        FUZZ_CHECK(kept[i] == rec);  // also strictly ascending, as the map is
        const SpaceWeatherRecord* found = whole.get(date);
        FUZZ_CHECK(found == &kept[i]);
        ++i;
    }
    const auto span = whole.date_range();
    FUZZ_CHECK(span.has_value() == !kept.empty());
    if (span) {
        FUZZ_CHECK(span->first == kept.front().date && span->second == kept.back().date);
        FUZZ_CHECK(whole.get_range(span->first, span->second).size() == kept.size());
        if (span->first != span->second) FUZZ_CHECK(whole.get_range(span->second, span->first).empty());
        // An inner range holds exactly the days between its bounds.
        const Date lo = kept[kept.size() / 3].date, hi = kept[kept.size() * 2 / 3].date;
        const auto inner = whole.get_range(lo, hi);
        FUZZ_CHECK(inner.size() == kept.size() * 2 / 3 - kept.size() / 3 + 1);
        for (const auto& ref : inner) FUZZ_CHECK(lo <= ref.get().date && ref.get().date <= hi);
    }

    cut = records.empty() ? 0 : cut % (records.size() + 1);
    const auto mid = records.begin() + static_cast<std::ptrdiff_t>(cut);
    auto a = store::SpaceWeatherStore::from_records({records.begin(), mid});
    auto b = store::SpaceWeatherStore::from_records({mid, records.end()});
    a.merge(std::move(b));
    FUZZ_CHECK(a.records().size() == kept.size());
    for (std::size_t k = 0; k < kept.size(); ++k) FUZZ_CHECK(a.records()[k] == kept[k]);
}

}  // namespace tarnwick::fuzz
