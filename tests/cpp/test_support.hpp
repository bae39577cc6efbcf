// Helpers shared by the C++ tests.
#pragma once

#include <fstream>
#include <iterator>
#include <string>

namespace tarnwick::test {

// Contents of a file under the project's tests/data, or "" if it is missing.
inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string read_test_data(const std::string& name) { return read_file(std::string(TARNWICK_TEST_DATA) + "/" + name); }

// The published files kept beside the project; "" when they are not there.
inline std::string read_shared_data(const std::string& name) {
    return read_file(std::string(TARNWICK_SHARED_DATA) + "/" + name);
}

}  // namespace tarnwick::test
