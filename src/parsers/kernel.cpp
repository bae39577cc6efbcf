#include "kernel.hpp"

#include <atomic>
#include <cassert>
#include <cstring>

#include "swar.hpp"

namespace tarnwick::parsers {

namespace {

std::uint64_t classify_portable(const char* p, std::size_t blocks, std::uint64_t* separators,
                                std::uint64_t* lfs) noexcept {
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

// Each cell is loaded as the four bytes that end it, the bytes before its
// start made '0', so that two cells fill a word and four words are checked
// and converted without a branch per cell. With it in place of the SSE2
// kernel the CSV reader takes 1,435 instructions a row, and 2,137 reading
// each cell alone (benchmarks/README.md, "Baseline").
bool read_small_int_cells_portable(const char* text, const std::size_t* ends, double* out) noexcept {
    if constexpr (!words_little_endian) return false;
    // A cell's own bytes among the four that end it, by its length % 4.
    constexpr std::uint32_t keep_of[4] = {0xFFFFFFFF, 0xFF000000, 0xFFFF0000, 0xFFFFFF00};
    std::uint64_t words[4];
    std::size_t too_long = 0;  // not zero when a cell is empty or longer than 4
    for (std::size_t k = 0; k < 8; ++k) {
        const std::size_t end = ends[k + 1];
        const std::size_t length = end - ends[k] - 1;
        too_long |= (length - 1) & ~std::size_t{3};
        assert(end >= 4);
        std::uint32_t cell;
        std::memcpy(&cell, text + end - 4, 4);
        const std::uint32_t keep = keep_of[length % 4];
        cell = (cell & keep) | (0x30303030u & ~keep);
        words[k / 2] = k % 2 == 0 ? cell : words[k / 2] | std::uint64_t{cell} << 32;
    }
    std::uint64_t digits = bytes_of(0x80);
    for (const std::uint64_t w : words) digits &= digit_bytes(w);
    if (too_long != 0 || digits != bytes_of(0x80)) return false;
    for (std::size_t k = 0; k < 4; ++k) {
        const std::uint64_t halves = four_digit_halves(words[k] & bytes_of(0x0F));
        out[2 * k] = static_cast<double>(halves & 0xFFFF);
        out[2 * k + 1] = static_cast<double>(halves >> 32);
    }
    return true;
}

const Kernels& cpu_kernels() noexcept {
    static const Kernels* const chosen = [] {
        const Kernels* const x86 = detail::x86_kernels();
        return x86 != nullptr ? x86 : &portable_kernels;
    }();
    return *chosen;
}

std::atomic<bool> portable_forced{false};

}  // namespace

constinit const Kernels portable_kernels{classify_portable, read_small_int_cells_portable};

const Kernels& kernels() noexcept {
    return portable_forced.load(std::memory_order_relaxed) ? portable_kernels : cpu_kernels();
}

void force_portable_kernel(bool portable) noexcept {
    portable_forced.store(portable, std::memory_order_relaxed);
}

bool portable_kernel_forced() noexcept {
    return portable_forced.load(std::memory_order_relaxed);
}

}  // namespace tarnwick::parsers
