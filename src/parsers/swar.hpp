// Byte-parallel arithmetic in 64-bit words (SWAR): eight bytes tested or
// converted at once, without a branch per byte, by the structural pass,
// the number readers and the fixed-width fields alike. Byte k of a word is
// the byte at address k (little-endian order); code that loads text into
// words first checks words_little_endian.
#pragma once

#include <bit>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tarnwick::parsers {

constexpr bool words_little_endian = std::endian::native == std::endian::little;

// The byte `b` in each of the eight bytes.
constexpr std::uint64_t bytes_of(unsigned char b) noexcept {
    return 0x0101010101010101ULL * b;
}

// The high bit of each byte that is not zero / that is zero.
constexpr std::uint64_t nonzero_bytes(std::uint64_t m) noexcept {
    return (((m & bytes_of(0x7F)) + bytes_of(0x7F)) | m) & bytes_of(0x80);
}
constexpr std::uint64_t zero_bytes(std::uint64_t m) noexcept {
    return nonzero_bytes(m) ^ bytes_of(0x80);
}

// The high bit of each byte that is an ASCII digit.
constexpr std::uint64_t digit_bytes(std::uint64_t w) noexcept {
    const std::uint64_t high = (w & bytes_of(0xF0)) ^ bytes_of(0x30);                    // zero for 0x3_
    const std::uint64_t low = ((w & bytes_of(0x0F)) + bytes_of(0x06)) & bytes_of(0xF0);  // zero for _0.._9
    return zero_bytes(high | low);
}

// The bytes below byte n, as a mask (n from 0 to 8).
constexpr std::uint64_t bytes_below(std::size_t n) noexcept {
    return n >= 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * n)) - 1;
}

// The high bits of the bytes of `m` (its only bits) as eight bits, byte 0
// lowest.
constexpr std::uint64_t gather_high_bits(std::uint64_t m) noexcept {
    return (m * 0x0002040810204081ULL) >> 56;
}

// Eight digit values 0..9, one per byte, the most significant at the
// lowest address of each four: the numbers of the two fours, in the low
// and the high half, adding neighbours in pairs and then in fours.
constexpr std::uint64_t four_digit_halves(std::uint64_t d) noexcept {
    d = (d * 10 + (d >> 8)) & 0x00FF00FF00FF00FFULL;
    return (d * 100 + (d >> 16)) & 0x0000FFFF0000FFFFULL;
}

// The same eight digits as one number.
constexpr std::uint64_t eight_digits(std::uint64_t d) noexcept {
    d = four_digit_halves(d);
    return (d * 10000 + (d >> 32)) & 0xFFFFFFFFULL;
}

// The `width` bytes at `p` in the low bytes of a word, the others zero
// (`width` from 1 to 8; `readable` bytes from `p` on may be read). With
// eight bytes readable it is one load: a copy of fewer bytes into a word
// on the stack would be read back before the copy could be forwarded.
inline std::uint64_t load_field(const char* p, std::size_t width, std::size_t readable) noexcept {
    assert(width >= 1 && width <= 8 && width <= readable);
    std::uint64_t w = 0;
    if (readable >= 8) {
        std::memcpy(&w, p, 8);
        return w & bytes_below(width);
    }
    std::memcpy(&w, p, width);
    return w;
}

}  // namespace tarnwick::parsers
