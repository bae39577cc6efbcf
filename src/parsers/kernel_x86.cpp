// The x86-64 kernels, and the choice among them by what this CPU has.
#include "kernel.hpp"

#if defined(__x86_64__)

#include <cpuid.h>
#include <immintrin.h>

#include <cassert>
#include <cstring>

namespace tarnwick::parsers {

namespace {

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

// The high bits of the 64 bytes of two vectors.
__attribute__((target("avx2"))) inline std::uint64_t high_bits(__m256i lo, __m256i hi) noexcept {
    return static_cast<std::uint32_t>(_mm256_movemask_epi8(lo)) |
           std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(hi))} << 32;
}

// The CSV reader takes 1,173 instructions a row with it and 1,544 with
// the portable kernel (benchmarks/README.md, "Baseline").
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

// SSE2, which every x86-64 has: the eight cells checked and converted in
// two vectors of four. Cell lengths are taken in 64 bits, so that no
// length, however long, passes for a short one. The CSV reader takes
// 1,173 instructions a row with it and 1,435 with the portable kernel, and
// 0.87-0.88 of the time in two of three runs (1.06 in the third, on a busy
// host; benchmarks/README.md, "Baseline").
bool read_small_int_cells_sse2(const char* text, const std::size_t* ends, double* out) noexcept {
    const auto load = [](const std::size_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); };
    // ends[k + 1] - ends[k], a cell's length plus one: from 2 to 5 when it is 1 to 4.
    __m128i spans[4];
    __m128i outside = _mm_setzero_si128();
    for (std::size_t k = 0; k < 4; ++k) {
        spans[k] = _mm_sub_epi64(load(ends + 2 * k + 1), load(ends + 2 * k));
        outside = _mm_or_si128(outside, _mm_sub_epi64(spans[k], _mm_set1_epi64x(2)));
    }
    outside = _mm_and_si128(outside, _mm_set1_epi64x(~std::int64_t{3}));
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(outside, _mm_setzero_si128())) != 0xFFFF) return false;
    assert(ends[1] >= 4);  // each cell is loaded as the four bytes that end it

    const auto convert = [&](const __m128i& low_spans, const __m128i& high_spans, std::size_t first, double* to) {
        // Each cell's span in each of its four bytes; a byte is the cell's
        // own when its place among them (0 to 3) plus the span passes 4.
        __m128i span = _mm_castps_si128(
            _mm_shuffle_ps(_mm_castsi128_ps(low_spans), _mm_castsi128_ps(high_spans), _MM_SHUFFLE(2, 0, 2, 0)));
        span = _mm_or_si128(span, _mm_slli_epi32(span, 8));
        span = _mm_or_si128(span, _mm_slli_epi32(span, 16));
        const __m128i own = _mm_cmpgt_epi8(_mm_add_epi8(span, _mm_set1_epi32(0x03020100)), _mm_set1_epi8(4));
        const auto word = [&](std::size_t k) {
            std::int32_t w;
            std::memcpy(&w, text + ends[first + k] - 4, 4);
            return w;
        };
        const __m128i cells = _mm_setr_epi32(word(1), word(2), word(3), word(4));
        const __m128i digits = _mm_and_si128(own, _mm_sub_epi8(cells, _mm_set1_epi8('0')));
        const __m128i tens = _mm_mullo_epi16(_mm_and_si128(digits, _mm_set1_epi16(0xFF)), _mm_set1_epi16(10));
        const __m128i pairs = _mm_add_epi16(tens, _mm_srli_epi16(digits, 8));      // first digit * 10 + second
        const __m128i values = _mm_madd_epi16(pairs, _mm_set1_epi32(0x00010064));  // first pair * 100 + second
        _mm_storeu_pd(to, _mm_cvtepi32_pd(values));
        _mm_storeu_pd(to + 2, _mm_cvtepi32_pd(_mm_shuffle_epi32(values, _MM_SHUFFLE(3, 2, 3, 2))));
        return digits;
    };
    const __m128i low = convert(spans[0], spans[1], 0, out);
    const __m128i high = convert(spans[2], spans[3], 4, out + 4);
    // Every own byte a digit: each byte at most 9 (the others are 0).
    const __m128i most = _mm_max_epu8(low, high);
    return _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(most, _mm_set1_epi8(9)), most)) == 0xFFFF;
}

}  // namespace

const Kernels* detail::x86_kernels() noexcept {
    static const Kernels avx2{classify_avx2, read_small_int_cells_sse2};
    static const Kernels sse2{portable_kernels.classify_blocks, read_small_int_cells_sse2};
    return has_avx2() ? &avx2 : &sse2;
}

}  // namespace tarnwick::parsers

#else

const tarnwick::parsers::Kernels* tarnwick::parsers::detail::x86_kernels() noexcept {
    return nullptr;
}

#endif
