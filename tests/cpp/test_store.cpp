// The record store: ordering, same-day combining, merging and queries.

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <limits>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "reference.hpp"
#include "store/store.hpp"
#include "test_support.hpp"

namespace tarnwick::store {
namespace {

using test::show;

struct Value {
    Field field;
    double v;
};

// Sets a scalar field to v, or an array field to v, v+1, ..., v+7.
void set_value(SpaceWeatherRecord& r, Field f, double v) {
    if (is_array_field(f)) {
        r.set_array(ArrayField::of(f), {v, v + 1, v + 2, v + 3, v + 4, v + 5, v + 6, v + 7});
    } else {
        r.set(ScalarField::of(f), v);
    }
}

SpaceWeatherRecord rec(Date d, std::initializer_list<Value> values = {}) {
    SpaceWeatherRecord r(d);
    for (const auto& [f, v] : values) set_value(r, f, v);
    return r;
}

std::vector<std::string> shown(const std::vector<SpaceWeatherRecord>& records) {
    std::vector<std::string> out;
    for (const auto& r : records) out.push_back(show(r));
    return out;
}

std::vector<std::string> shown(const std::vector<RecordRef>& refs) {
    std::vector<std::string> out;
    for (const auto& r : refs) out.push_back(show(r.get()));
    return out;
}

// ---------------------------------------------------------------------------
// Building

struct BuildCase {
    std::vector<SpaceWeatherRecord> in;
    std::vector<SpaceWeatherRecord> out;
    const char* why;
};

TEST(StoreBuild, SortAndCombine) {
    using F = Field;
    const Date d{2001, 1, 1};
    const Date d2{2001, 1, 2};
    const Date d3{2001, 1, 3};
    const BuildCase cases[] = {
        {{}, {}, "empty"},
        {{rec(d, {{F::dtc, 4}})}, {rec(d, {{F::dtc, 4}})}, "one record unchanged"},
        {{rec(d3), rec(d), rec(d2)}, {rec(d), rec(d2), rec(d3)}, "sorted by date"},
        {{rec(d, {{F::f10_7_obs, 1}}), rec(d, {{F::f10_7_obs, 2}, {F::dtc, 5}}), rec(d, {{F::dtc, 7}, {F::s10_7, 3}})},
         {rec(d, {{F::f10_7_obs, 1}, {F::dtc, 5}, {F::s10_7, 3}})},
         "each field from the first record that has it"},
        {{rec(d, {{F::f10_7_obs, 1}}), rec(d, {{F::kp_3hr, 10}})},
         {rec(d, {{F::f10_7_obs, 1}, {F::kp_3hr, 10}})},
         "an array only the second has is taken whole"},
        {{rec(d, {{F::ap_3hr, 1}}), rec(d, {{F::ap_3hr, 100}})},
         {rec(d, {{F::ap_3hr, 1}})},
         "an array the first has is kept whole"},
        {{rec(d), rec(d, {{F::m10_7, 9}, {F::ap_3hr, 1}})},
         {rec(d, {{F::m10_7, 9}, {F::ap_3hr, 1}})},
         "an all-absent record takes everything from the next"},
        {{rec(d2, {{F::dtc, 2}}), rec(d, {{F::dtc, 1}}), rec(d2, {{F::dtc, 3}, {F::y10_7, 3}})},
         {rec(d, {{F::dtc, 1}}), rec(d2, {{F::dtc, 2}, {F::y10_7, 3}})},
         "records of one day keep their input order through the sort"},
        {{rec(d3), rec(d3), rec(d3)}, {rec(d3)}, "three empty records of one day"},
        {{rec({0, 1, 1}), rec({-1, 12, 31}), rec({-100, 6, 1})},
         {rec({-100, 6, 1}), rec({-1, 12, 31}), rec({0, 1, 1})},
         "negative years sort before year 0"},
        {{rec({2000, 1, 1}), rec({1999, 12, 31})}, {rec({1999, 12, 31}), rec({2000, 1, 1})}, "year first"},
        {{rec(d, {{F::f10_7_adj, -0.0}}), rec(d, {{F::f10_7_adj, 1}})},
         {rec(d, {{F::f10_7_adj, -0.0}})},
         "a present zero is a value"},
        {{rec(d, {{F::f10_7_adj, std::numeric_limits<double>::quiet_NaN()}}), rec(d, {{F::f10_7_adj, 1}})},
         {rec(d, {{F::f10_7_adj, std::numeric_limits<double>::quiet_NaN()}})},
         "a present NaN is a value"},
    };
    for (const auto& c : cases) {
        const auto store = SpaceWeatherStore::from_records(c.in);
        EXPECT_EQ(shown(store.records()), shown(c.out)) << c.why;
        EXPECT_EQ(store.len(), c.out.size()) << c.why;
    }
}

// ---------------------------------------------------------------------------
// Merging

TEST(StoreMerge, TargetWinsAndFillsGaps) {
    const Date d{2020, 1, 1};
    auto target = SpaceWeatherStore::from_records({rec(d, {{Field::f10_7_obs, 100}})});
    auto other = SpaceWeatherStore::from_records({rec(d, {{Field::f10_7_obs, 200}, {Field::dtc, 10}})});
    target.merge(std::move(other));
    EXPECT_EQ(shown(target.records()), shown({rec(d, {{Field::f10_7_obs, 100}, {Field::dtc, 10}})}));
}

TEST(StoreMerge, IsNotSymmetric) {
    const Date d{2020, 1, 1};
    const auto a = [&] { return SpaceWeatherStore::from_records({rec(d, {{Field::kp_3hr, 1}})}); };
    const auto b = [&] { return SpaceWeatherStore::from_records({rec(d, {{Field::kp_3hr, 50}})}); };
    auto ab = a();
    ab.merge(b());
    auto ba = b();
    ba.merge(a());
    EXPECT_EQ(shown(ab.records()), shown({rec(d, {{Field::kp_3hr, 1}})}));
    EXPECT_EQ(shown(ba.records()), shown({rec(d, {{Field::kp_3hr, 50}})}));
}

TEST(StoreMerge, EmptySides) {
    const std::vector<SpaceWeatherRecord> some{rec({2020, 1, 1}, {{Field::dtc, 1}}), rec({2020, 1, 3})};
    auto target = SpaceWeatherStore::from_records(some);
    target.merge(SpaceWeatherStore{});
    EXPECT_EQ(shown(target.records()), shown(some)) << "empty other";

    SpaceWeatherStore empty;
    auto other = SpaceWeatherStore::from_records(some);
    empty.merge(std::move(other));
    EXPECT_EQ(shown(empty.records()), shown(some)) << "empty target";
    EXPECT_EQ(other.len(), 0u) << "the other store is consumed";  // NOLINT(bugprone-use-after-move)
}

// ---------------------------------------------------------------------------
// Queries

TEST(StoreQuery, EmptyStore) {
    const auto store = SpaceWeatherStore::from_records({});
    EXPECT_EQ(store.len(), 0u);
    EXPECT_EQ(store.date_range(), std::nullopt);
    EXPECT_EQ(store.get({2020, 1, 1}), nullptr);
    EXPECT_TRUE(store.get_range({-2147483647 - 1, 1, 1}, {2147483647, 12, 31}).empty());
}

TEST(StoreQuery, GetAndDateRange) {
    const auto one = SpaceWeatherStore::from_records({rec({2020, 2, 29}, {{Field::ap_daily, 7}})});
    EXPECT_EQ(one.date_range(), (std::pair<Date, Date>{{2020, 2, 29}, {2020, 2, 29}}));
    ASSERT_NE(one.get({2020, 2, 29}), nullptr);
    EXPECT_EQ(one.get({2020, 2, 29})->get(Field::ap_daily), 7.0);
    EXPECT_EQ(one.get({2020, 2, 28}), nullptr);
    EXPECT_EQ(one.get({2020, 3, 1}), nullptr);

    const auto many = SpaceWeatherStore::from_records({rec({2001, 1, 3}), rec({-3, 1, 1}), rec({2001, 1, 1})});
    EXPECT_EQ(many.date_range(), (std::pair<Date, Date>{{-3, 1, 1}, {2001, 1, 3}}));
    EXPECT_EQ(many.get({2001, 1, 2}), nullptr);
    EXPECT_NE(many.get({-3, 1, 1}), nullptr);
}

struct RangeCase {
    Date start;
    Date end;
    std::vector<Date> days;
    const char* why;
};

TEST(StoreQuery, GetRange) {
    const Date held[] = {{1999, 12, 29}, {1999, 12, 31}, {2000, 1, 1}, {2000, 1, 3}, {2000, 2, 1}};
    std::vector<SpaceWeatherRecord> records;
    for (const auto& d : held) records.push_back(rec(d));
    const auto store = SpaceWeatherStore::from_records(records);
    const RangeCase cases[] = {
        {{1999, 12, 30}, {2000, 1, 2}, {{1999, 12, 31}, {2000, 1, 1}}, "across the year boundary"},
        {{2000, 1, 1}, {2000, 1, 1}, {{2000, 1, 1}}, "one held day"},
        {{2000, 1, 2}, {2000, 1, 2}, {}, "one day not held"},
        {{2000, 1, 3}, {1999, 12, 29}, {}, "start after end, records between"},
        {{1000, 1, 1}, {3000, 1, 1}, {held[0], held[1], held[2], held[3], held[4]}, "around everything"},
        {{1999, 12, 29}, {2000, 2, 1}, {held[0], held[1], held[2], held[3], held[4]}, "exactly the held span"},
        {{1000, 1, 1}, {1999, 12, 28}, {}, "wholly before"},
        {{2000, 2, 2}, {3000, 1, 1}, {}, "wholly after"},
        {{1000, 1, 1}, {1999, 12, 29}, {{1999, 12, 29}}, "ends on the first day"},
        {{2000, 2, 1}, {3000, 1, 1}, {{2000, 2, 1}}, "starts on the last day"},
        {{2000, 1, 1}, {2000, 1, 31}, {{2000, 1, 1}, {2000, 1, 3}}, "gaps are not filled"},
    };
    for (const auto& c : cases) {
        std::vector<Date> days;
        for (const auto& r : store.get_range(c.start, c.end)) days.push_back(r.get().date);
        EXPECT_EQ(days, c.days) << c.why;
    }
}

TEST(StoreQuery, GetRangeThroughTheIndexInterface) {
    const auto store = SpaceWeatherStore::from_records({rec({2020, 1, 2}, {{Field::dtc, 2}}), rec({2020, 1, 1})});
    const SpaceWeatherIndex& index = store;
    const auto refs = index.get_range({2020, 1, 1}, {2020, 1, 2});
    ASSERT_EQ(refs.size(), 2u);
    EXPECT_EQ(&refs[1].get(), store.get({2020, 1, 2}));  // references into the store, not copies
}

// ---------------------------------------------------------------------------
// Against a plain reference

// Stable sort, then each field from the first record of its day that has it,
// through a map keyed by day.
std::vector<SpaceWeatherRecord> reference_build(std::vector<SpaceWeatherRecord> records) {
    std::stable_sort(records.begin(), records.end(),
                     [](const SpaceWeatherRecord& a, const SpaceWeatherRecord& b) { return a.date < b.date; });
    std::map<Date, SpaceWeatherRecord> days;
    for (const auto& r : records) {
        auto [it, fresh] = days.try_emplace(r.date, r);
        if (fresh) continue;
        fuzz::fill_gaps(it->second, r);
    }
    std::vector<SpaceWeatherRecord> out;
    for (auto& [d, r] : days) out.push_back(r);
    return out;
}

// Records on days drawn from `days`, many of them repeated, each with a
// random set of fields.
std::vector<SpaceWeatherRecord> random_records(std::mt19937_64& rng, const std::vector<Date>& days) {
    std::vector<SpaceWeatherRecord> out(rng() % 40);
    for (auto& r : out) {
        r.date = days[rng() % days.size()];
        for (std::size_t i = 0; i < field_count; ++i) {
            if (rng() % 3 == 0) set_value(r, static_cast<Field>(i), static_cast<double>(rng() % 1000));
        }
    }
    return out;
}

std::vector<Date> days_between(int first_year, int years) {
    std::vector<Date> out;
    for (int y = first_year; y < first_year + years; ++y) {
        for (const std::uint8_t m : std::initializer_list<std::uint8_t>{1, 12}) {
            for (const std::uint8_t d : std::initializer_list<std::uint8_t>{1, 31}) out.push_back({y, m, d});
        }
    }
    return out;
}

TEST(StoreProperty, FromRecordsMatchesReference) {
    std::mt19937_64 rng(1957);
    const auto days = days_between(-2, 4);  // 16 days across negative years and year 0
    for (int round = 0; round < 1000; ++round) {
        const auto records = random_records(rng, days);
        const auto store = SpaceWeatherStore::from_records(records);
        ASSERT_EQ(shown(store.records()), shown(reference_build(records))) << "seed 1957, round " << round;

        const Date a = days[rng() % days.size()];
        const Date b = days[rng() % days.size()];
        std::vector<SpaceWeatherRecord> expected;
        for (const auto& r : store.records()) {
            if (!(r.date < a) && !(b < r.date)) expected.push_back(r);
        }
        ASSERT_EQ(shown(store.get_range(a, b)), shown(expected)) << "seed 1957, round " << round;
    }
}

TEST(StoreProperty, MergeEqualsBuildingFromBothInOrder) {
    std::mt19937_64 rng(2041);
    const auto early = days_between(1990, 3);
    const auto late = days_between(1992, 3);  // shares 1992 with `early`
    const std::pair<const std::vector<Date>*, const std::vector<Date>*> layouts[] = {
        {&early, &early},  // interleaving
        {&early, &late},   // target first, touching in 1992
        {&late, &early},   // other first
        {&late, &late},
    };
    for (int round = 0; round < 1200; ++round) {
        const auto& [target_days, other_days] = layouts[round % 4];
        const auto a = random_records(rng, *target_days);
        const auto b = random_records(rng, *other_days);
        auto both = a;
        both.insert(both.end(), b.begin(), b.end());

        auto target = SpaceWeatherStore::from_records(a);
        target.merge(SpaceWeatherStore::from_records(b));
        ASSERT_EQ(shown(target.records()), shown(SpaceWeatherStore::from_records(both).records()))
            << "seed 2041, round " << round;
        ASSERT_EQ(shown(target.records()), shown(reference_build(both))) << "seed 2041, round " << round;
    }
}

// get() probes a day's distance from the first day before searching: its
// answer must match a linear search on series with gaps, on days before,
// inside and after them, and on days that do not exist.
TEST(StoreProperty, GetMatchesLinearSearch) {
    std::mt19937_64 rng(2011);
    std::vector<Date> probes;
    for (int y = 1999; y <= 2002; ++y) {
        for (const std::uint8_t m : std::initializer_list<std::uint8_t>{0, 1, 2, 3, 12, 13, 255}) {
            for (const std::uint8_t d : std::initializer_list<std::uint8_t>{0, 1, 2, 28, 29, 30, 31, 255}) {
                probes.push_back({y, m, d});
            }
        }
    }
    for (std::uint8_t m = 1; m <= 12; ++m) {
        for (std::uint8_t d = 1; d <= 31; ++d) probes.push_back({2000, m, d});  // a run of consecutive days
    }
    for (int round = 0; round < 200; ++round) {
        std::vector<SpaceWeatherRecord> records;
        for (const Date& d : probes) {
            if (rng() % 8 != 0) records.push_back(rec(d));  // gaps of every length, invalid days too
        }
        std::shuffle(records.begin(), records.end(), rng);
        const auto store = SpaceWeatherStore::from_records(records);
        for (const Date& d : probes) {
            const auto& held = store.records();
            const auto it =
                std::find_if(held.begin(), held.end(), [&](const SpaceWeatherRecord& r) { return r.date == d; });
            ASSERT_EQ(store.get(d), it == held.end() ? nullptr : &*it) << "seed 2011, round " << round;
        }
    }
}

}  // namespace
}  // namespace tarnwick::store
