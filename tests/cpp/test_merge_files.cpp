// Series read from the three published files shipped in examples/data, merged into one.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "parsers/celestrak/celestrak.hpp"
#include "parsers/set/set.hpp"
#include "store/store.hpp"
#include "test_support.hpp"

namespace tarnwick {
namespace {

TEST(MergeFiles, CelestrakSolfsmyAndDtcfileMakeOneRecordPerDay) {
    const std::string csv = test::read_example_data("SW-Last5Years.csv");
    const std::string sol = test::read_example_data("SOLFSMY_2021-2024.TXT");
    const std::string dtc = test::read_example_data("DTCFILE_2021-2024.TXT");
    ASSERT_FALSE(csv.empty() || sol.empty() || dtc.empty());

    auto csv_records = parsers::celestrak::parse(csv);
    auto sol_records = parsers::set::parse_solfsmy(sol);
    auto dtc_records = parsers::set::parse_dtcfile(dtc);
    ASSERT_TRUE(csv_records.ok() && sol_records.ok() && dtc_records.ok());

    std::set<Date> all_days;
    for (const auto* records : {&csv_records.value(), &sol_records.value(), &dtc_records.value()}) {
        for (const auto& r : *records) all_days.insert(r.date);
    }

    auto merged = store::SpaceWeatherStore::from_records(std::move(csv_records).value());
    auto solfsmy = store::SpaceWeatherStore::from_records(std::move(sol_records).value());
    auto dtcfile = store::SpaceWeatherStore::from_records(std::move(dtc_records).value());
    const SpaceWeatherRecord sol_day = *solfsmy.get({2021, 6, 1});
    const SpaceWeatherRecord dtc_day = *dtcfile.get({2021, 6, 1});
    merged.merge(std::move(solfsmy));
    merged.merge(std::move(dtcfile));

    const auto& records = merged.records();
    ASSERT_EQ(records.size(), all_days.size());
    EXPECT_EQ(records.size(), 2190u);  // the SET years lie inside the CSV's span
    for (std::size_t i = 1; i < records.size(); ++i) ASSERT_LT(records[i - 1].date, records[i].date) << i;

    const auto day = merged.get_range({2021, 6, 1}, {2021, 6, 1});
    ASSERT_EQ(day.size(), 1u);
    const SpaceWeatherRecord& r = day.front();
    for (const Field f : {Field::f10_7_obs, Field::ap_daily, Field::ap_3hr, Field::kp_3hr}) {
        EXPECT_TRUE(r.has(f)) << static_cast<int>(f);
    }
    for (const Field f : {Field::f10_7_jb, Field::f10_7_jb_81c, Field::s10_7, Field::m10_7, Field::y10_7}) {
        EXPECT_EQ(r.get(f), sol_day.get(f)) << static_cast<int>(f);
    }
    EXPECT_EQ(r.get(Field::dtc), dtc_day.get(Field::dtc));
}

}  // namespace
}  // namespace tarnwick
