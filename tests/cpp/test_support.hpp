// Helpers shared by the C++ tests.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>

#include "record.hpp"

namespace tarnwick::test {

// Contents of a file under the project's tests/data, or "" if it is missing.
inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string read_test_data(const std::string& name) {
    return read_file(std::string(TARNWICK_TEST_DATA) + "/" + name);
}

// The excerpts of the published files shipped in examples/data.
inline std::string read_example_data(const std::string& name) {
    return read_file(std::string(TARNWICK_EXAMPLE_DATA) + "/" + name);
}

// The UTF-8 bytes of a code point (surrogates are encoded like any other
// value, which is how tests build invalid input).
inline std::string utf8(std::uint32_t cp) {
    std::string s;
    if (cp < 0x80) {
        s += static_cast<char>(cp);
    } else if (cp < 0x800) {
        s += static_cast<char>(0xC0 | (cp >> 6));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        s += static_cast<char>(0xE0 | (cp >> 12));
        s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        s += static_cast<char>(0xF0 | (cp >> 18));
        s += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return s;
}

// Bytes as text a failure message can show: printable ASCII as is, the
// rest as \xNN.
inline std::string hex(std::string_view bytes) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        if (b >= 0x20 && b < 0x7F && b != '\\') {
            out += ch;
        } else {
            out += "\\x";
            out += digits[b >> 4];
            out += digits[b & 0xF];
        }
    }
    return out;
}

// The bit pattern of a double, so that -0.0, 0.0 and NaNs compare exactly.
inline std::uint64_t bits(double v) {
    std::uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

// A record as one line of text naming its present fields, for comparing
// records in assertions: every double is written with enough digits to
// tell any two apart (-0 included), NaN as "nan".
inline std::string show(const SpaceWeatherRecord& r) {
    static constexpr const char* names[field_count] = {"f10_7_obs", "f10_7_adj", "f10_7_jb", "f10_7_jb_81c",
                                                       "ap_daily",  "ap_3hr",    "kp_3hr",   "s10_7",
                                                       "m10_7",     "y10_7",     "dtc"};
    const auto number = [](double v) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.17g", v);
        return std::isnan(v) ? std::string("nan") : std::string(buf);
    };
    std::string out =
        std::to_string(r.date.year) + "-" + std::to_string(r.date.month) + "-" + std::to_string(r.date.day);
    for (std::size_t i = 0; i < field_count; ++i) {
        const auto f = static_cast<Field>(i);
        if (!r.has(f)) continue;
        out += std::string(" ") + names[i] + "=";
        if (is_array_field(f)) {
            const char* sep = "[";
            for (const double v : *r.get_array(f)) out += std::exchange(sep, ",") + number(v);
            out += "]";
        } else {
            out += number(*r.get(f));
        }
    }
    return out;
}

}  // namespace tarnwick::test
