#include "text.hpp"

namespace tarnwick::parsers {

std::size_t leading_space(std::string_view s) noexcept {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const std::size_t n = s.size();
    if (n == 0) return 0;
    const unsigned char b = p[0];
    if (b < 0x80) return is_ascii_space(b) ? 1 : 0;
    if (b == 0xC2) return (n >= 2 && (p[1] == 0x85 || p[1] == 0xA0)) ? 2 : 0;
    if (n < 3) return 0;
    if (b == 0xE1) return (p[1] == 0x9A && p[2] == 0x80) ? 3 : 0;  // U+1680
    if (b == 0xE3) return (p[1] == 0x80 && p[2] == 0x80) ? 3 : 0;  // U+3000
    if (b != 0xE2) return 0;
    if (p[1] == 0x80) {
        const unsigned char c = p[2];
        // U+2000..U+200A, U+2028, U+2029, U+202F
        return ((c >= 0x80 && c <= 0x8A) || c == 0xA8 || c == 0xA9 || c == 0xAF) ? 3 : 0;
    }
    return (p[1] == 0x81 && p[2] == 0x9F) ? 3 : 0;  // U+205F
}

std::size_t trailing_space(std::string_view s) noexcept {
    const std::size_t n = s.size();
    if (n == 0) return 0;
    const auto last = static_cast<unsigned char>(s[n - 1]);
    if (last < 0x80) return is_ascii_space(last) ? 1 : 0;
    // Every multi-byte White_Space character ends in a continuation byte and
    // starts with C2, E1, E2 or E3, which are always lead bytes, so matching
    // the last two or three bytes cannot split a longer character.
    if (n >= 2 && static_cast<unsigned char>(s[n - 2]) == 0xC2) {
        return leading_space(s.substr(n - 2)) == 2 ? 2 : 0;
    }
    if (n >= 3) return leading_space(s.substr(n - 3)) == 3 ? 3 : 0;
    return 0;
}

}  // namespace tarnwick::parsers
