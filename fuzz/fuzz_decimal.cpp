// Any bytes as one decimal number: accepted exactly when the grammar
// accepts them, and then the value strtod gives, bit for bit.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "check.hpp"
#include "parsers/decimal.hpp"

using namespace tarnwick;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto got = parsers::parse_decimal(text);
    const auto want = fuzz::decimal(text);
    FUZZ_CHECK(got.has_value() == want.has_value());
    if (got) {
        std::uint64_t a, b;
        std::memcpy(&a, &*got, sizeof a);
        std::memcpy(&b, &*want, sizeof b);
        if (a != b) {
            std::fprintf(stderr, "%.*s: got %a want %a\n", static_cast<int>(size), text.data(), *got, *want);
        }
        FUZZ_CHECK(a == b);
    }
    return 0;
}
