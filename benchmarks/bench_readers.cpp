// Throughput of each reader on its own, in MB/s of input, on the published
// files and on synthetic files 10x and 100x their size built from them.
//
//   tarnwick_bench_readers [--data DIR] [--runs N] [--scales 1,10,100] [--only FILE] [--portable]
//
// --portable forces the portable kernel table (kernel.hpp) instead of the
// CPU's.
//
// Every case is timed N times (fewer on the larger inputs) and the best run
// gives the MB/s; the median is printed beside it for the spread. Every
// result feeds a checksum that is printed at the end, so the compiler cannot
// drop the work.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "parsers/celestrak/celestrak.hpp"
#include "parsers/decimal.hpp"
#include "parsers/kernel.hpp"
#include "parsers/scan.hpp"
#include "parsers/set/set.hpp"
#include "parsers/text.hpp"
#include "store/store.hpp"

namespace {

using namespace tarnwick;
using Clock = std::chrono::steady_clock;

std::uint64_t sink = 0;

void consume(const std::vector<SpaceWeatherRecord>& records) {
    sink += records.size();
    if (!records.empty()) {
        const SpaceWeatherRecord& r = records.back();
        sink += static_cast<std::uint64_t>(r.date.year) + r.date.month + r.date.day;
    }
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// ---- synthetic files -------------------------------------------------------
//
// A file of k times the size repeats every data line k times, each copy
// shifted by a whole number of the file's spans of days, so that the dates
// stay valid (also 29 February and day 366), copies never overlap and a
// date-sorted file stays sorted. The copies are placed around the original
// so that every year stays within 1..9999, which Python's datetime needs.

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
std::int64_t days_from_civil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

struct Civil {
    std::int64_t y;
    unsigned m, d;
};

Civil civil_from_days(std::int64_t z) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    return {static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2), m, d};
}

std::int64_t days_from_doy(std::int64_t year, unsigned doy) {
    return days_from_civil(year, 1, 1) + doy - 1;
}

unsigned doy_of(const Civil& c) {
    return static_cast<unsigned>(days_from_civil(c.y, c.m, c.d) - days_from_civil(c.y, 1, 1) + 1);
}

// How a format's data lines carry their day, and how to write a line of
// another day.
struct Format {
    // The day of a data line, or false for a line to keep only once (header, comment).
    std::function<bool(std::string_view, std::int64_t&)> day_of;
    // The line moved to `day` (the original line's day plus a shift of `shift` days).
    std::function<std::string(std::string_view, std::int64_t day, std::int64_t shift)> moved;
};

// The lines of `text` by the readers' rule: split at LF, a CR before the
// LF dropped, no line after a final LF.
std::vector<std::string_view> split_lines(std::string_view text) {
    std::vector<std::string_view> out;
    while (!text.empty()) {
        const std::size_t lf = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, lf);
        if (lf < text.size() && line.ends_with('\r')) line.remove_suffix(1);
        out.push_back(line);
        text.remove_prefix(std::min(lf + 1, text.size()));
    }
    return out;
}

std::string scaled(std::string_view text, const Format& format, int k) {
    if (k == 1) return std::string(text);
    const std::vector<std::string_view> lines = split_lines(text);
    std::int64_t first = INT64_MAX, last = INT64_MIN, day = 0;
    for (const auto line : lines) {
        if (!format.day_of(line, day)) continue;
        first = std::min(first, day);
        last = std::max(last, day);
    }
    const std::int64_t span = last - first + 1;
    std::string out;
    out.reserve(text.size() * static_cast<std::size_t>(k) + 64);
    for (const auto line : lines) {
        if (format.day_of(line, day)) continue;
        out.append(line).push_back('\n');
    }
    for (int j = 0; j < k; ++j) {
        const std::int64_t shift = static_cast<std::int64_t>(j - k / 5) * span;
        for (const auto line : lines) {
            if (!format.day_of(line, day)) continue;
            out.append(format.moved(line, day + shift, shift)).push_back('\n');
        }
    }
    return out;
}

std::int64_t number(std::string_view s) {
    return std::strtoll(std::string(s).c_str(), nullptr, 10);
}

const Format csv_format{
    [](std::string_view line, std::int64_t& day) {
        if (line.size() < 10 || line[4] != '-' || line[7] != '-') return false;
        day = days_from_civil(number(line.substr(0, 4)), static_cast<unsigned>(number(line.substr(5, 2))),
                              static_cast<unsigned>(number(line.substr(8, 2))));
        return true;
    },
    [](std::string_view line, std::int64_t day, std::int64_t) {
        const Civil c = civil_from_days(day);
        char buf[16];
        std::snprintf(buf, sizeof buf, "%04lld-%02u-%02u", static_cast<long long>(c.y), c.m, c.d);
        return std::string(buf) + std::string(line.substr(10));
    },
};

const Format solfsmy_format{
    [](std::string_view line, std::int64_t& day) {
        if (line.size() < 22 || line.find('#') != std::string_view::npos) return false;
        day = days_from_doy(number(line.substr(0, 6)), static_cast<unsigned>(number(line.substr(6, 4))));
        return true;
    },
    [](std::string_view line, std::int64_t day, std::int64_t shift) {
        const Civil c = civil_from_days(day);
        const double julian = std::strtod(std::string(line.substr(10, 12)).c_str(), nullptr);
        char buf[32];
        std::snprintf(buf, sizeof buf, "%6lld%4u%12.1f", static_cast<long long>(c.y), doy_of(c),
                      julian + static_cast<double>(shift));
        return std::string(buf) + std::string(line.substr(22));
    },
};

const Format dtcfile_format{
    [](std::string_view line, std::int64_t& day) {
        if (line.size() < 12 || line.substr(0, 3) != "DTC") return false;
        day = days_from_doy(number(line.substr(3, 5)), static_cast<unsigned>(number(line.substr(8, 4))));
        return true;
    },
    [](std::string_view line, std::int64_t day, std::int64_t) {
        const Civil c = civil_from_days(day);
        char buf[32];
        std::snprintf(buf, sizeof buf, "DTC%5lld%4u", static_cast<long long>(c.y), doy_of(c));
        return std::string(buf) + std::string(line.substr(12));
    },
};

// ---- timing ----------------------------------------------------------------

struct Timing {
    double best;
    double median;
};

Timing time_runs(int runs, const std::function<void()>& work) {
    std::vector<double> seconds;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = Clock::now();
        work();
        seconds.push_back(std::chrono::duration<double>(Clock::now() - t0).count());
    }
    std::sort(seconds.begin(), seconds.end());
    return {seconds.front(), seconds[seconds.size() / 2]};
}

void report(const std::string& name, std::size_t bytes, std::size_t rows, const Timing& t) {
    const double mb = static_cast<double>(bytes) / 1e6;
    char per_row[16] = "-";
    if (rows != 0) std::snprintf(per_row, sizeof per_row, "%.1f", t.best * 1e9 / static_cast<double>(rows));
    std::printf("| %-32s | %8.2f | %9zu | %9.3f | %9.3f | %8.0f | %7s |\n", name.c_str(), mb, rows, t.best * 1e3,
                t.median * 1e3, mb / t.best, per_row);
    std::fflush(stdout);
}

using Reader = Result<std::vector<SpaceWeatherRecord>> (*)(std::string_view);

struct Input {
    const char* file;
    const Format* format;
    Reader reader;
};

void bench_reader(const std::string& label, std::string_view text, Reader reader, int runs) {
    std::size_t rows = 0;
    {
        auto r = reader(text);
        if (!r) {
            std::fprintf(stderr, "%s: %s\n", label.c_str(), r.error().display().c_str());
            std::exit(1);
        }
        rows = r.value().size();
    }
    report(label + " parse", text.size(), rows, time_runs(runs, [&] {
               auto r = reader(text);
               consume(r.value());
           }));
    report(label + " parse+store", text.size(), rows, time_runs(runs, [&] {
               auto store = store::SpaceWeatherStore::from_records(std::move(reader(text).value()));
               consume(store.records());
           }));
}

// The pieces the readers are made of, on one text, for a profile in MB/s.
void bench_parts(const std::string& label, std::string_view text, int runs) {
    report(label + " utf8 check", text.size(), 0,
           time_runs(runs, [&] { sink += parsers::Scanner(text).valid_utf8(); }));
    report(label + " structural pass", text.size(), 0, time_runs(runs, [&] {
               parsers::Scanner scan(text);
               std::size_t ends[65];
               for (std::size_t p = 0; p < text.size();) {
                   const std::size_t stop = scan.next_lf(ends[scan.line_ends(p, 64, ends)]);
                   sink += stop;
                   p = stop + 1;
               }
           }));
}

void bench_decimals(int runs) {
    // The cells the files are made of: short fixed-point numbers, plus a few
    // longer and exponent forms.
    const std::vector<std::string_view> cells = {"72.4", "269.3", "1.1",  "0.7",        "117.8",   "43",
                                                 "37",   "9.0",   "1e2",  "7.24E+01",   "-12.5",   "100.25",
                                                 "0",    "230.9", "65.4", "0.00012345", "1234567", "3.14159"};
    std::size_t bytes = 0;
    for (const auto c : cells) bytes += c.size();
    constexpr int repeat = 100000;
    report("parse_decimal (mixed cells)", bytes * repeat, cells.size() * repeat, time_runs(runs, [&] {
               double acc = 0;
               for (int i = 0; i < repeat; ++i) {
                   for (const auto c : cells) acc += *parsers::parse_decimal(c);
               }
               sink += static_cast<std::uint64_t>(acc);
           }));
}

}  // namespace

int main(int argc, char** argv) {
    std::string dir = TARNWICK_SHARED_DATA;
    int runs = 15;
    std::vector<int> scales = {1, 10, 100};
    std::string only;  // one input file, for a profile of that reader alone
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (a == "--data" && i + 1 < argc) {
            dir = argv[++i];
        } else if (a == "--runs" && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (a == "--portable") {
            parsers::force_portable_kernel(true);
        } else if (a == "--only" && i + 1 < argc) {
            only = argv[++i];
        } else if (a == "--scales" && i + 1 < argc) {
            scales.clear();
            for (const char* p = argv[++i]; *p != '\0';) {
                char* end = nullptr;
                scales.push_back(static_cast<int>(std::strtol(p, &end, 10)));
                p = *end == ',' ? end + 1 : end;
            }
        } else {
            std::fprintf(stderr, "usage: %s [--data DIR] [--runs N] [--scales 1,10,100] [--only FILE] [--portable]\n",
                         argv[0]);
            return 2;
        }
    }

    const Input inputs[] = {
        {"SW-All.csv", &csv_format, &parsers::celestrak::parse},
        {"SOLFSMY.TXT", &solfsmy_format, &parsers::set::parse_solfsmy},
        {"DTCFILE.TXT", &dtcfile_format, &parsers::set::parse_dtcfile},
    };

    std::printf(
        "| case                             |       MB |      rows |   best ms | median ms |     MB/s |  ns/row |\n");
    std::printf(
        "|----------------------------------|---------:|----------:|----------:|----------:|---------:|--------:|\n");
    for (const Input& input : inputs) {
        if (!only.empty() && only != input.file) continue;
        const std::string real = read_file(dir + "/" + input.file);
        if (real.empty()) {
            std::fprintf(stderr, "missing %s/%s\n", dir.c_str(), input.file);
            return 1;
        }
        for (const int k : scales) {
            const std::string text = scaled(real, *input.format, k);
            // Fewer runs where one run already takes long.
            const int n = k >= 100 ? std::max(3, runs / 5) : k >= 10 ? std::max(3, runs / 2) : runs;
            const std::string label = std::string(input.file) + " x" + std::to_string(k);
            bench_reader(label, text, input.reader, n);
            if (k == 1) bench_parts(label, text, n);
        }
    }
    if (only.empty()) bench_decimals(runs);
    std::printf("\nchecksum %llu\n", static_cast<unsigned long long>(sink));
    return 0;
}
