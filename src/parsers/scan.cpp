#include "scan.hpp"

#include <algorithm>
#include <cstring>

namespace tarnwick::parsers {

namespace {

inline bool is_cont(unsigned char b) noexcept {
    return (b & 0xC0) == 0x80;
}

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

void Scanner::scan_chunk() noexcept {
    chunk_begin_ = chunk_end_;
    const char* const p = text_.data() + chunk_begin_;
    const std::size_t left = text_.size() - chunk_begin_;
    const std::size_t whole = left / 64 < chunk_blocks ? left / 64 : chunk_blocks;
    std::uint64_t non_ascii = classify_(p, whole, separators_, lfs_);
    if (whole < chunk_blocks) {
        // The last, partial block goes through a copy padded with zeros,
        // which are neither separators nor non-ASCII; blocks after it are empty.
        alignas(32) char tail[64] = {};
        std::memcpy(tail, p + whole * 64, left - whole * 64);
        non_ascii |= classify_(tail, 1, separators_ + whole, lfs_ + whole) << whole;
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
