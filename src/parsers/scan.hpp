// The structural pass every reader makes over its text: one bit per comma
// and one per LF for each 64-byte block, and the strict UTF-8 check of
// each block as it passes (ASCII blocks need nothing more). Blocks are
// classified a chunk at a time, just ahead of the reader that asks for
// separators, so the text is read once and the bitmaps stay in L1.
//
// Blocks are classified by the kernel table's classify_blocks (kernel.hpp),
// taken when the scanner is made. Never allocates, never throws.
#pragma once

#include <bit>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "kernel.hpp"

namespace tarnwick::parsers {

class Scanner {
public:
    explicit Scanner(std::string_view text) noexcept : text_(text), classify_(kernels().classify_blocks) {}

    [[nodiscard]] std::size_t size() const noexcept { return text_.size(); }

    // The cell ends of the line that starts at `start`, for reading its
    // cells by index: ends[0] = start - 1, as if a separator stood before
    // the line, then the offset of each comma from `start` on and of the
    // LF that ends the line (or size() where no LF does), until that LF or
    // until `max` offsets follow ends[0]. Cell c is then the bytes between
    // ends[c] and ends[c + 1]. Returns how many offsets follow ends[0]:
    // the number of cells read. `start` must not lie before the last chunk
    // scanned, nor past size().
    //
    // A line's separators are taken in one loop over local words, and the
    // caller reads the cells it uses by index, rather than asking for each
    // separator in turn through the scanner's members and looking up what
    // each column feeds: the loop keeps its state in registers. Writing
    // eight offsets at a time whatever the count, to spare a branch per
    // separator, costs instructions and gains no time.
    [[nodiscard]] std::size_t line_ends(std::size_t start, std::size_t max, std::size_t* ends) noexcept {
        assert(max >= 1 && start >= chunk_begin_ && start <= text_.size());
        std::size_t* out = ends;
        std::size_t* const last = ends + max;
        *out = start - 1;
        for (std::size_t pos = start;;) {
            if (pos >= chunk_end_) {
                if (chunk_end_ >= text_.size()) {
                    *++out = text_.size();
                    return static_cast<std::size_t>(out - ends);
                }
                scan_chunk();
                continue;
            }
            const std::size_t block = (pos - chunk_begin_) / 64;
            const std::uint64_t from = ~std::uint64_t{0} << (pos % 64);
            std::uint64_t bits = separators_[block] & from;
            const std::uint64_t lf = lfs_[block] & from;
            if (lf != 0) bits &= lf ^ (lf - 1);  // through the first LF
            const std::size_t base = chunk_begin_ + block * 64;
            for (; bits != 0; bits &= bits - 1) {
                *++out = base + static_cast<unsigned>(std::countr_zero(bits));
                if (out == last) return max;
            }
            if (lf != 0) return static_cast<std::size_t>(out - ends);
            pos = base + 64;
        }
    }

    // Offset of the first LF at or after `pos`, or size() if none; `pos`
    // must not lie before the last chunk scanned.
    [[nodiscard]] std::size_t next_lf(std::size_t pos) noexcept {
        for (;;) {
            if (pos >= chunk_end_) {
                if (chunk_end_ >= text_.size()) return text_.size();
                scan_chunk();
                continue;
            }
            assert(pos >= chunk_begin_);
            std::size_t block = (pos - chunk_begin_) / 64;
            std::uint64_t m = lfs_[block] & (~std::uint64_t{0} << (pos % 64));
            while (m == 0 && ++block < chunk_blocks) m = lfs_[block];
            if (m != 0) return chunk_begin_ + block * 64 + static_cast<std::size_t>(std::countr_zero(m));
            pos = chunk_end_;
        }
    }

    // Scans what is left and tells whether the whole text is valid UTF-8:
    // no overlong form, no encoded surrogate (U+D800..U+DFFF), nothing
    // above U+10FFFF, no sequence cut short by the end of the text. A
    // byte-order mark is an ordinary character.
    [[nodiscard]] bool valid_utf8() noexcept {
        while (chunk_end_ < text_.size()) scan_chunk();
        return valid_;
    }

private:
#if defined(TARNWICK_SMALL_CHUNKS)
    static constexpr std::size_t chunk_blocks = 2;  // so that short fuzz inputs span chunks
#else
    static constexpr std::size_t chunk_blocks = 64;
#endif

    // Classifies the next chunk and checks its UTF-8.
    void scan_chunk() noexcept;

    std::string_view text_;
    decltype(Kernels::classify_blocks) classify_;
    std::size_t chunk_begin_ = 0;
    std::size_t chunk_end_ = 0;  // blocks past the text's end hold no bits
    std::size_t valid_to_ = 0;   // checked as UTF-8 up to here, a character boundary
    bool valid_ = true;
    std::uint64_t separators_[chunk_blocks];
    std::uint64_t lfs_[chunk_blocks];
};

}  // namespace tarnwick::parsers
