// Inputs no data provider would publish: huge, degenerate or adversarial
// files. Every reader must give records or its own error, quickly, and
// never read outside its input.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "parsers/celestrak/celestrak.hpp"
#include "parsers/decimal.hpp"
#include "parsers/set/set.hpp"
#include "store/store.hpp"

namespace tarnwick {
namespace {

using namespace std::string_literals;

using Reader = Result<std::vector<SpaceWeatherRecord>> (*)(std::string_view);

constexpr std::size_t MiB = std::size_t{1} << 20;

std::string repeat(std::string_view piece, std::size_t times) {
    std::string out;
    out.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i) out += piece;
    return out;
}

// The columns the CSV reader needs, in the published order.
std::string csv_header() {
    std::string h = "DATE,F10.7_OBS,F10.7_ADJ,AP_AVG";
    for (const char* p : {",AP", ",KP"}) {
        for (char k = '1'; k <= '8'; ++k) (h += p) += k;
    }
    return h;
}

// A data line for csv_header(): every value present.
const std::string csv_line = "2020-01-01,70.5,71.5,4,1,2,3,4,5,6,7,8,10,20,30,40,50,60,70,80";

const std::string dtc_line =
    "DTC 1997   1   31  50  50  50  44  44  44  50  50  50  44  44  44  24  24  24  24  24  24  31  31  31  31  31";
const std::string solfsmy_line = "  1997   1   2450450.0  72.4  78.0  74.0  79.2  65.4  73.8  61.9  70.7  1B11";

// "N records", or the error's display text.
std::string outcome(Reader read, std::string_view bytes) {
    const auto r = read(bytes);
    return r ? std::to_string(r.value().size()) + " records" : r.error().display();
}

struct Case {
    const char* what;
    Reader read;
    std::function<std::string()> make;  // built when the case runs, freed after
    std::string expected;
};

Reader csv = parsers::celestrak::parse;
Reader dtc = parsers::set::parse_dtcfile;
Reader sol = parsers::set::parse_solfsmy;

const Case cases[] = {
    // One enormous line.
    {"csv: 64 MiB without a newline", csv, [] { return std::string(64 * MiB, 'x'); }, "invalid or missing CSV header"},
    {"dtc: 64 MiB without a newline", dtc, [] { return std::string(64 * MiB, 'x'); }, "parse error at row 1: year"},
    {"sol: 64 MiB without a newline", sol, [] { return std::string(64 * MiB, 'x'); }, "parse error at row 1: year"},
    {"dtc: a 64 MiB comment", dtc, [] { return "#" + std::string(64 * MiB, 'x'); }, "0 records"},
    // NUL is an ordinary character: not blank, not a number.
    {"csv: 1 MiB of NUL", csv, [] { return std::string(MiB, '\0'); }, "invalid or missing CSV header"},
    {"dtc: 1 MiB of NUL", dtc, [] { return std::string(MiB, '\0'); }, "parse error at row 1: year"},
    {"sol: 100 NULs", sol, [] { return std::string(100, '\0'); }, "parse error at row 1: year"},
    {"dtc: a '#' after other text is no comment", dtc, [] { return "_za_#__"s; },
     "parse error at row 1: line too short"},
    {"sol: 63 NULs", sol, [] { return std::string(63, '\0'); }, "parse error at row 1: line too short"},
    {"csv: a NUL inside the date", csv,
     [] {
         return csv_header() +
                "\n2020-01-0\0"
                "1,1\n"s;
     },
     "parse error at row 2: invalid date"},
    // Ten million lines with nothing in them.
    {"csv: 10M empty lines", csv, [] { return std::string(10'000'000, '\n'); }, "invalid or missing CSV header"},
    {"csv: header, then 10M blank lines", csv, [] { return csv_header() + repeat(" \r\n", 10'000'000); }, "0 records"},
    {"dtc: 10M blank lines", dtc, [] { return repeat("\t\n", 10'000'000); }, "0 records"},
    {"sol: 10M CRLF", sol, [] { return repeat("\r\n", 10'000'000); }, "0 records"},
    {"csv: a bad date after 10M blank lines", csv, [] { return csv_header() + std::string(10'000'000, '\n') + "#\n"; },
     "parse error at row 10000001: invalid date"},
    {"dtc: a short line after 10M blank lines", dtc, [] { return std::string(10'000'000, '\n') + "DTC"; },
     "parse error at row 10000001: line too short"},
    {"sol: 10M lone CRs make one long line", sol, [] { return std::string(10'000'000, '\r') + "x"; },
     "parse error at row 1: year"},
    // Wide lines and wide headers.
    {"csv: a data line with a million commas", csv,
     [] { return csv_header() + "\n2020-01-01" + std::string(1'000'000, ','); }, "1 records"},
    {"csv: a line of a million commas", csv, [] { return csv_header() + "\n" + std::string(1'000'000, ','); },
     "parse error at row 2: invalid date"},
    {"csv: an indented line longer than the reader's look-ahead", csv,
     [] { return csv_header() + "\n\t" + csv_line + std::string(10'000, ',') + "\n" + csv_line + "\n"; }, "2 records"},
    {"csv: a header of 100,000 columns, needed ones last", csv,
     [] { return repeat("X,", 100'000) + csv_header() + "\n" + repeat(",", 100'000) + csv_line; }, "1 records"},
    {"csv: 100,000 distinct names", csv,
     [] {
         std::string h;
         for (int i = 0; i < 100'000; ++i) h += "C" + std::to_string(i) + ",";
         return h + csv_header() + "\n";
     },
     "0 records"},
    // Bytes that are not UTF-8, at the far end of a large input.
    {"csv: a stray byte at the end of 16 MiB", csv, [] { return csv_header() + std::string(16 * MiB, '\n') + "\xff"; },
     "invalid or missing CSV header"},
    {"dtc: a cut sequence at the end of 16 MiB", dtc, [] { return std::string(16 * MiB, ' ') + "\xe2\x80"; },
     "parse error at row 0: invalid utf-8"},
    {"sol: a surrogate after good lines", sol, [] { return repeat(solfsmy_line + "\n", 1000) + "#\xed\xa0\x80"; },
     "parse error at row 0: invalid utf-8"},
    // Many good lines.
    {"dtc: 100,000 lines", dtc, [] { return repeat(dtc_line + "\r\n", 100'000); }, "100000 records"},
    {"sol: 100,000 lines", sol, [] { return repeat(solfsmy_line + "\n", 100'000); }, "100000 records"},
    {"csv: 100,000 lines", csv, [] { return csv_header() + "\n" + repeat(csv_line + "\n", 100'000); },
     "100000 records"},
};

class Hostile : public ::testing::TestWithParam<Case> {};

TEST_P(Hostile, GivesRecordsOrItsError) {
    const Case& c = GetParam();
    EXPECT_EQ(outcome(c.read, c.make()), c.expected);
}

std::string case_name(const ::testing::TestParamInfo<Case>& param) {
    std::string name;
    for (const char ch : std::string_view(param.param.what))
        name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Inputs, Hostile, ::testing::ValuesIn(cases), case_name);

// Values of 10,000 digits or with 10,000-digit exponents are read exactly:
// the C library's strtod, which rounds correctly at any length, agrees bit
// for bit.
TEST(HostileDecimal, LongNumbersMatchStrtod) {
    const std::string numbers[] = {
        "1" + std::string(9'999, '0'),                             // far beyond the range: inf
        "0." + std::string(9'998, '0') + "1",                      // far below it: 0
        "1" + std::string(400, '0') + "e-400",                     // exactly 1
        std::string(10'000, '9') + "e-9990",                       // rounds up to 1e10
        "." + std::string(10'000, '3'),                            // one third
        "1e" + std::string(10'000, '9'),                           // inf
        "-1e-" + std::string(10'000, '9'),                         // -0
        "0e" + std::string(10'000, '9'),                           // 0, not nan
        "4.9406564584124654" + std::string(5'000, '0') + "e-324",  // the smallest subnormal
        // Halfway between the largest double and 2^1024, then just below:
        // ties to even go up to infinity, anything less stays finite.
        "17976931348623158079372897140530341507993413271003782693617377898044496829276475094664901797758720709633028641"
        "6"
        "69288791094655554785194040263065748867150582068190890200070838367627385484581771153176447573027006985557136695"
        "9"
        "622842914819860834936475292719074168444365510704342711559699508093042880177904174497792",
        "17976931348623158079372897140530341507993413271003782693617377898044496829276475094664901797758720709633028641"
        "6"
        "69288791094655554785194040263065748867150582068190890200070838367627385484581771153176447573027006985557136695"
        "9"
        "622842914819860834936475292719074168444365510704342711559699508093042880177904174497791." +
            std::string(5'000, '9'),
    };
    for (const std::string& text : numbers) {
        SCOPED_TRACE(text.substr(0, 40));
        const auto got = parsers::parse_decimal(text);
        ASSERT_TRUE(got.has_value());
        const double want = std::strtod(text.c_str(), nullptr);
        EXPECT_EQ(std::memcmp(&*got, &want, sizeof want), 0) << *got << " vs " << want;
    }
}

// A 10,000-digit cell is just a long number to the CSV reader; a number cut
// to six bytes by a SOLFSMY field is whatever those six bytes say.
TEST(HostileDecimal, LongCells) {
    const auto r = parsers::celestrak::parse(csv_header() + "\n2020-01-01," + std::string(10'000, '7') + ",1e" +
                                             std::string(10'000, '0') + "1,-" + std::string(10'000, '0') + "\n");
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.value()[0].get(Field::f10_7_obs), std::numeric_limits<double>::infinity());
    EXPECT_EQ(r.value()[0].get(Field::f10_7_adj), 10.0);
    EXPECT_EQ(r.value()[0].get(Field::ap_daily), 0.0);
    EXPECT_TRUE(std::signbit(*r.value()[0].get(Field::ap_daily)));
}

// Bounds of the integer fields, where a naive parser overflows.
TEST(HostileIntegers, FieldBounds) {
    const struct {
        std::string line;
        std::string expected;
    } lines[] = {
        // SOLFSMY's year field is six bytes: a negative year can be written.
        {"-99999" + solfsmy_line.substr(6), "1 records"},
        {"999999" + solfsmy_line.substr(6), "1 records"},
        {solfsmy_line.substr(0, 6) + "0366" + solfsmy_line.substr(10), "parse error at row 1: invalid day-of-year"},
        {"  2000" + std::string(" 366") + solfsmy_line.substr(10), "1 records"},
        {"    -4" + std::string(" 366") + solfsmy_line.substr(10), "1 records"},  // year -4 is a leap year
        {"    -1" + std::string(" 366") + solfsmy_line.substr(10), "parse error at row 1: invalid day-of-year"},
        {"-2147483648"s.substr(0, 6) + solfsmy_line.substr(6), "1 records"},
    };
    for (const auto& c : lines) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(outcome(sol, c.line), c.expected);
    }
    const struct {
        std::string day;
        std::string expected;
    } days[] = {
        {"65535", "parse error at row 1: invalid day-of-year"},
        {"65536", "parse error at row 1: doy"},
        {"99999", "parse error at row 1: doy"},
        {"  -0 ", "parse error at row 1: doy"},
        {"+0366", "parse error at row 1: invalid day-of-year"},
    };
    for (const auto& c : days) {
        SCOPED_TRACE(c.day);
        EXPECT_EQ(outcome(dtc, dtc_line.substr(0, 8) + c.day + dtc_line.substr(13)), c.expected);
    }
    // Twenty-four of the most negative four-byte values average exactly.
    const auto r = parsers::set::parse_dtcfile(dtc_line.substr(0, 13) + repeat("-999", 24));
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.value()[0].get(Field::dtc), -999.0);
}

// A large series with every day repeated, built and merged.
TEST(HostileStore, ManyRecordsOfFewDays) {
    std::vector<SpaceWeatherRecord> records;
    for (int i = 0; i < 200'000; ++i) {
        SpaceWeatherRecord r(Date{2000 + i % 7, 1, 1});
        r.set(ScalarField::of(static_cast<Field>(i % 5 == 4 ? 10 : i % 5)), static_cast<double>(i));
        records.push_back(r);
    }
    auto a = store::SpaceWeatherStore::from_records(records);
    ASSERT_EQ(a.len(), 7u);
    EXPECT_EQ(a.get(Date{2003, 1, 1})->get(Field::f10_7_obs), 10.0);  // first 2003 record with field 0 is i = 10
    auto b = store::SpaceWeatherStore::from_records(std::move(records));
    a.merge(std::move(b));
    EXPECT_EQ(a.len(), 7u);
}

}  // namespace
}  // namespace tarnwick
