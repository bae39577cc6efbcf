#include "scan.hpp"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "decimal.hpp"

#if defined(__x86_64__)
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace tarnwick::parsers {

namespace {

// Separators and LFs of `blocks` 64-byte blocks at `p`, and one bit per
// block that holds a byte from 0x80.
using Classify = std::uint64_t (*)(const char* p, std::size_t blocks, std::uint64_t* separators,
                                   std::uint64_t* lfs) noexcept;

// The high bits of the bytes of `m` (its only bits) as eight bits, byte 0 lowest.
inline std::uint64_t gather_high_bits(std::uint64_t m) noexcept { return (m * 0x0002040810204081ULL) >> 56; }

std::uint64_t classify_portable(const char* p, std::size_t blocks, std::uint64_t* separators,
                                std::uint64_t* lfs) noexcept {
    using detail::bytes_of;
    using detail::zero_bytes;
    std::uint64_t non_ascii = 0;
    for (std::size_t b = 0; b < blocks; ++b, p += 64) {
        std::uint64_t comma = 0, lf = 0, high = 0;
        for (unsigned k = 0; k < 8; ++k) {
            std::uint64_t w;
            std::memcpy(&w, p + 8 * k, 8);
            comma |= gather_high_bits(zero_bytes(w ^ bytes_of(','))) << (8 * k);
            lf |= gather_high_bits(zero_bytes(w ^ bytes_of('\n'))) << (8 * k);
            high |= w & bytes_of(0x80);
        }
        separators[b] = comma | lf;
        lfs[b] = lf;
        non_ascii |= std::uint64_t{high != 0} << b;
    }
    return non_ascii;
}

#if defined(__x86_64__)
// The high bits of the 64 bytes of two vectors.
__attribute__((target("avx2"))) inline std::uint64_t high_bits(__m256i lo, __m256i hi) noexcept {
    return static_cast<std::uint32_t>(_mm256_movemask_epi8(lo)) |
           std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(hi))} << 32;
}

// Brings SW-All.csv from 1,548 to 1,177 instructions a row against the
// portable kernel (callgrind), and the CSV reader from 2.85 to 2.41 ms
// (best of 12 rounds of 41 runs, taken in turns).
__attribute__((target("avx2"))) std::uint64_t classify_avx2(const char* p, std::size_t blocks,
                                                            std::uint64_t* separators, std::uint64_t* lfs) noexcept {
    const __m256i comma = _mm256_set1_epi8(',');
    const __m256i lf = _mm256_set1_epi8('\n');
    std::uint64_t non_ascii = 0;
    for (std::size_t b = 0; b < blocks; ++b, p += 64) {
        const __m256i lo = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
        const __m256i hi = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
        const std::uint64_t l = high_bits(_mm256_cmpeq_epi8(lo, lf), _mm256_cmpeq_epi8(hi, lf));
        separators[b] = l | high_bits(_mm256_cmpeq_epi8(lo, comma), _mm256_cmpeq_epi8(hi, comma));
        lfs[b] = l;
        non_ascii |= std::uint64_t{high_bits(lo, hi) != 0} << b;
    }
    return non_ascii;
}
#endif

#if defined(__x86_64__)
// AVX2 in the CPU, and its 256-bit registers saved by the OS. Asked of
// cpuid itself: __builtin_cpu_supports reads a table of libgcc's, which
// zig's runtime (the release wheels' toolchain) does not provide.
bool has_avx2() noexcept {
    unsigned a = 0, b = 0, c = 0, d = 0;
    constexpr unsigned osxsave_and_avx = 1U << 27 | 1U << 28;
    if (__get_cpuid(1, &a, &b, &c, &d) == 0 || (c & osxsave_and_avx) != osxsave_and_avx) return false;
    unsigned xcr0 = 0, xcr0_high = 0;
    __asm__("xgetbv" : "=a"(xcr0), "=d"(xcr0_high) : "c"(0));
    constexpr unsigned xmm_and_ymm_state = 0x6;
    if ((xcr0 & xmm_and_ymm_state) != xmm_and_ymm_state) return false;
    return __get_cpuid_count(7, 0, &a, &b, &c, &d) != 0 && (b & 1U << 5) != 0;
}
#endif

Classify best_kernel() noexcept {
#if defined(__x86_64__)
    if (has_avx2()) return classify_avx2;
#endif
    return classify_portable;
}

const Classify cpu_kernel = best_kernel();
std::atomic<Classify> kernel{cpu_kernel};
std::atomic<bool> portable_forced{false};

inline bool is_cont(unsigned char b) noexcept { return (b & 0xC0) == 0x80; }

// The end of the UTF-8 character at `p`, or nullptr if it is not one:
// overlong forms, surrogates, values above U+10FFFF and sequences cut by
// `end` are refused.
const unsigned char* utf8_char_end(const unsigned char* p, const unsigned char* end) noexcept {
    const unsigned char b = *p;
    const std::ptrdiff_t left = end - p;
    if (b < 0x80) return p + 1;
    if (b >= 0xC2 && b <= 0xDF) {  // C0 and C1 would be overlong
        return left >= 2 && is_cont(p[1]) ? p + 2 : nullptr;
    }
    if (b >= 0xE0 && b <= 0xEF) {
        if (left < 3 || !is_cont(p[1]) || !is_cont(p[2])) return nullptr;
        if (b == 0xE0 && p[1] < 0xA0) return nullptr;   // overlong
        if (b == 0xED && p[1] >= 0xA0) return nullptr;  // U+D800..U+DFFF
        return p + 3;
    }
    if (b >= 0xF0 && b <= 0xF4) {
        if (left < 4 || !is_cont(p[1]) || !is_cont(p[2]) || !is_cont(p[3])) return nullptr;
        if (b == 0xF0 && p[1] < 0x90) return nullptr;   // overlong
        if (b == 0xF4 && p[1] >= 0x90) return nullptr;  // above U+10FFFF
        return p + 4;
    }
    return nullptr;  // continuation byte, C0, C1, F5..FF
}

}  // namespace

void force_portable_kernel(bool portable) noexcept {
    kernel.store(portable ? classify_portable : cpu_kernel, std::memory_order_relaxed);
    portable_forced.store(portable, std::memory_order_relaxed);
}

bool portable_kernel_forced() noexcept { return portable_forced.load(std::memory_order_relaxed); }

void Scanner::scan_chunk() noexcept {
    chunk_begin_ = chunk_end_;
    const char* const p = text_.data() + chunk_begin_;
    const std::size_t left = text_.size() - chunk_begin_;
    const Classify classify = kernel.load(std::memory_order_relaxed);
    const std::size_t whole = left / 64 < chunk_blocks ? left / 64 : chunk_blocks;
    std::uint64_t non_ascii = classify(p, whole, separators_, lfs_);
    if (whole < chunk_blocks) {
        // The last, partial block goes through a copy padded with zeros,
        // which are neither separators nor non-ASCII; blocks after it are empty.
        alignas(32) char tail[64] = {};
        std::memcpy(tail, p + whole * 64, left - whole * 64);
        non_ascii |= classify(tail, 1, separators_ + whole, lfs_ + whole) << whole;
        for (std::size_t b = whole + 1; b < chunk_blocks; ++b) separators_[b] = lfs_[b] = 0;
    }
    chunk_end_ = chunk_begin_ + 64 * chunk_blocks;
    // Blocks with a byte from 0x80 are checked character by character,
    // from the last boundary reached, which may lie inside this block when
    // a character crossed into it, through the end of the character that
    // crosses the block's end.
    const auto* const bytes = reinterpret_cast<const unsigned char*>(text_.data());
    const unsigned char* const end = bytes + text_.size();
    while (non_ascii != 0 && valid_) {
        const auto b = static_cast<std::size_t>(std::countr_zero(non_ascii));
        non_ascii &= non_ascii - 1;
        const std::size_t block_begin = chunk_begin_ + 64 * b;
        const unsigned char* q = bytes + (valid_to_ > block_begin ? valid_to_ : block_begin);
        const unsigned char* const stop = bytes + std::min(block_begin + 64, text_.size());
        while (q != nullptr && q < stop) q = utf8_char_end(q, end);
        if (q == nullptr) {
            valid_ = false;
        } else {
            valid_to_ = static_cast<std::size_t>(q - bytes);
        }
    }
}

}  // namespace tarnwick::parsers
