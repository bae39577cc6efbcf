#include "text.hpp"

#include <cstdint>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tarnwick::parsers {

namespace {

inline bool all_ascii8(const unsigned char* p) noexcept {
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    return (w & 0x8080808080808080ULL) == 0;
}

inline bool is_cont(unsigned char b) noexcept { return (b & 0xC0) == 0x80; }

}  // namespace

bool is_valid_utf8(std::string_view bytes) noexcept {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const unsigned char* const end = p + bytes.size();
    while (p != end) {
        // ASCII runs dominate every supported format: skip them a word at a time.
        while (end - p >= 16 && all_ascii8(p) && all_ascii8(p + 8)) p += 16;
        if (p == end) break;  // the skip can consume the input exactly
        const unsigned char b = *p;
        if (b < 0x80) {
            ++p;
            continue;
        }
        const std::ptrdiff_t left = end - p;
        if (b >= 0xC2 && b <= 0xDF) {  // C0 and C1 would be overlong
            if (left < 2 || !is_cont(p[1])) return false;
            p += 2;
        } else if (b >= 0xE0 && b <= 0xEF) {
            if (left < 3 || !is_cont(p[1]) || !is_cont(p[2])) return false;
            if (b == 0xE0 && p[1] < 0xA0) return false;   // overlong
            if (b == 0xED && p[1] >= 0xA0) return false;  // U+D800..U+DFFF
            p += 3;
        } else if (b >= 0xF0 && b <= 0xF4) {
            if (left < 4 || !is_cont(p[1]) || !is_cont(p[2]) || !is_cont(p[3])) return false;
            if (b == 0xF0 && p[1] < 0x90) return false;   // overlong
            if (b == 0xF4 && p[1] >= 0x90) return false;  // above U+10FFFF
            p += 4;
        } else {
            return false;  // continuation byte, C0, C1, F5..FF
        }
    }
    return true;
}

std::size_t count_lines(std::string_view text) noexcept {
    std::size_t lf = 0;
    const char* p = text.data();
    const char* const end = p + text.size();
#if defined(__SSE2__)
    // Sixteen bytes per step, the matches summed in byte lanes that are
    // folded into the total before any of them can overflow.
    const __m128i newline = _mm_set1_epi8('\n');
    while (end - p >= 16) {
        __m128i lanes = _mm_setzero_si128();
        for (int i = 0; i < 255 && end - p >= 16; ++i, p += 16) {
            const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            lanes = _mm_sub_epi8(lanes, _mm_cmpeq_epi8(chunk, newline));
        }
        const __m128i sums = _mm_sad_epu8(lanes, _mm_setzero_si128());
        lf += static_cast<std::size_t>(_mm_cvtsi128_si32(sums)) +
              static_cast<std::size_t>(_mm_cvtsi128_si32(_mm_unpackhi_epi64(sums, sums)));
    }
#endif
    for (; p != end; ++p) lf += *p == '\n' ? 1 : 0;
    return lf + (!text.empty() && text.back() != '\n' ? 1 : 0);
}

std::size_t leading_space(std::string_view s) noexcept {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const std::size_t n = s.size();
    if (n == 0) return 0;
    const unsigned char b = p[0];
    if (b < 0x80) return (b == ' ' || (b >= 0x09 && b <= 0x0D)) ? 1 : 0;
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
    if (last < 0x80) return (last == ' ' || (last >= 0x09 && last <= 0x0D)) ? 1 : 0;
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
