// The structural pass every reader makes over its text: one bit per comma
// and one per LF for each 64-byte block, and the strict UTF-8 check of
// each block as it passes (ASCII blocks need nothing more). Blocks are
// classified a chunk at a time, just ahead of the reader that asks for
// separators, so the text is read once and the bitmaps stay in L1.
//
// The classifying kernel is AVX2 where the CPU has it, chosen at run time,
// else portable word-at-a-time code; both give the same bits, and the
// portable one can be forced so that tests and fuzz targets run both.
// Never allocates, never throws.
#pragma once

#include <bit>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tarnwick::parsers {

// Makes every later scan use the portable kernel (true), or the CPU's best (false).
void force_portable_kernel(bool portable) noexcept;

class Scanner {
public:
    explicit Scanner(std::string_view text) noexcept : text_(text) {}

    [[nodiscard]] std::size_t size() const noexcept { return text_.size(); }

    // Offset of the next comma or LF after the last one given, or after
    // the offset `seek` set, or size() if there is none.
    [[nodiscard]] std::size_t next_separator() noexcept {
        while (pending_ == 0) {
            if (++block_ >= chunk_blocks) {
                if (chunk_end_ >= text_.size()) return text_.size();
                scan_chunk();
                block_ = 0;
            }
            pending_ = separators_[block_];
        }
        const auto bit = static_cast<std::size_t>(std::countr_zero(pending_));
        pending_ &= pending_ - 1;
        return chunk_begin_ + block_ * 64 + bit;
    }

    // Makes next_separator start at `pos`, which must not lie before the
    // last chunk scanned. Needed after next_lf, which may scan on.
    void seek(std::size_t pos) noexcept {
        while (pos >= chunk_end_ && chunk_end_ < text_.size()) scan_chunk();
        assert(pos >= chunk_begin_);
        if (pos >= chunk_end_) {  // at the end of the text
            block_ = chunk_blocks - 1;
            pending_ = 0;
            return;
        }
        block_ = (pos - chunk_begin_) / 64;
        pending_ = separators_[block_] & (~std::uint64_t{0} << (pos % 64));
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
    std::size_t chunk_begin_ = 0;
    std::size_t chunk_end_ = 0;  // blocks past the text's end hold no bits
    std::size_t valid_to_ = 0;   // checked as UTF-8 up to here, a character boundary
    bool valid_ = true;
    // The separator cursor: the block it is in and the bits of that block
    // not yet given. It starts before the first block.
    std::size_t block_ = chunk_blocks - 1;
    std::uint64_t pending_ = 0;
    std::uint64_t separators_[chunk_blocks];
    std::uint64_t lfs_[chunk_blocks];
};

}  // namespace tarnwick::parsers
