// The readers' kernels: the inner loops that have a vector form. One
// table holds one implementation of each; the table for this CPU is
// chosen once, on first use, by the one place that knows which CPU
// features exist (kernel_x86.cpp on x86-64; every other target has only
// the portable table). Every table gives the same results as the
// portable one, which can be forced so that tests and fuzz targets run
// both. Never allocates, never throws.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarnwick::parsers {

struct Kernels {
    // The structural pass over `blocks` 64-byte blocks at `p`: for block b,
    // one bit per comma or LF in separators[b] and one per LF in lfs[b],
    // byte 0 lowest; returns one bit per block that holds a byte from 0x80.
    std::uint64_t (*classify_blocks)(const char* p, std::size_t blocks, std::uint64_t* separators,
                                     std::uint64_t* lfs) noexcept;

    // Eight cells of one to four ASCII digits, as the published CSV writes
    // every ap and Kp value: true and their values in out[0..7]. Cell k
    // lies between the separators at ends[k] and ends[k + 1], and each is
    // read as the four bytes that end it, so ends[1] >= 4. Any other form
    // (an empty or longer cell, a blank, a sign, a point) gives false and
    // is left to the cell-by-cell reading.
    bool (*read_small_int_cells)(const char* text, const std::size_t* ends, double* out) noexcept;
};

// Word-at-a-time code for every target.
extern const Kernels portable_kernels;

// The table every reader takes when it starts: the CPU's, or the portable
// one while force_portable_kernel(true) is in force.
[[nodiscard]] const Kernels& kernels() noexcept;

// Makes every later read take the portable table (true) or the CPU's
// (false).
void force_portable_kernel(bool portable) noexcept;

// True while force_portable_kernel(true) is in force.
[[nodiscard]] bool portable_kernel_forced() noexcept;

namespace detail {
// The best table for this x86-64 CPU, or nullptr when built for another
// target.
[[nodiscard]] const Kernels* x86_kernels() noexcept;
}  // namespace detail

}  // namespace tarnwick::parsers
