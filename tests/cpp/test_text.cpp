// Strict UTF-8, White_Space trimming and line splitting.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "parsers/kernel.hpp"
#include "parsers/scan.hpp"
#include "parsers/set/set.hpp"
#include "parsers/text.hpp"
#include "reference.hpp"
#include "test_set_lines.hpp"
#include "test_support.hpp"

// The second ctest pass sets TARNWICK_TEST_PORTABLE_KERNEL: every reader
// in every test then takes the portable kernel table.
namespace {
class PortableKernel : public ::testing::Environment {
    void SetUp() override {
        const char* forced = std::getenv("TARNWICK_TEST_PORTABLE_KERNEL");
        tarnwick::parsers::force_portable_kernel(forced != nullptr && *forced == '1');
    }
};
[[maybe_unused]] const auto* const portable_kernel = ::testing::AddGlobalTestEnvironment(new PortableKernel);
}  // namespace

namespace tarnwick::parsers {
namespace {

using namespace std::string_view_literals;

// ---------------------------------------------------------------------------
// UTF-8

struct Utf8Case {
    std::string_view bytes;
    bool valid;
    const char* why;
};

const Utf8Case utf8_cases[] = {
    {""sv, true, "empty input"},
    {"\0"sv, true, "NUL is an ordinary character"},
    {"\x7F"sv, true, "last one-byte character"},
    {"\xC2\x80"sv, true, "U+0080, first two-byte character"},
    {"\xDF\xBF"sv, true, "U+07FF, last two-byte character"},
    {"\xE0\xA0\x80"sv, true, "U+0800, first three-byte character"},
    {"\xED\x9F\xBF"sv, true, "U+D7FF, just below the surrogates"},
    {"\xEE\x80\x80"sv, true, "U+E000, just above the surrogates"},
    {"\xEF\xBB\xBF"sv, true, "byte-order mark is an ordinary character"},
    {"\xEF\xBF\xBF"sv, true, "U+FFFF, last three-byte character"},
    {"\xF0\x90\x80\x80"sv, true, "U+10000, first four-byte character"},
    {"\xF4\x8F\xBF\xBF"sv, true, "U+10FFFF, the largest code point"},
    {"a\xC3\xA9z"sv, true, "two-byte character between ASCII"},

    {"\xC0\x80"sv, false, "overlong NUL (C0)"},
    {"\xC1\xBF"sv, false, "overlong U+007F (C1)"},
    {"\xE0\x80\x80"sv, false, "overlong three-byte NUL"},
    {"\xE0\x9F\xBF"sv, false, "overlong U+07FF in three bytes"},
    {"\xF0\x80\x80\x80"sv, false, "overlong four-byte NUL"},
    {"\xF0\x8F\xBF\xBF"sv, false, "overlong U+FFFF in four bytes"},
    {"\xED\xA0\x80"sv, false, "U+D800, first surrogate"},
    {"\xED\xBF\xBF"sv, false, "U+DFFF, last surrogate"},
    {"\xED\xA0\x80\xED\xB0\x80"sv, false, "surrogate pair written as two characters"},
    {"\xF4\x90\x80\x80"sv, false, "U+110000, above the largest code point"},
    {"\xF5\x80\x80\x80"sv, false, "F5 can never start a character"},
    {"\xF7\xBF\xBF\xBF"sv, false, "F7"},
    {"\xF8\x88\x80\x80\x80"sv, false, "five-byte form"},
    {"\xFE"sv, false, "FE"},
    {"\xFF"sv, false, "FF"},
    {"\x80"sv, false, "lone continuation byte"},
    {"\xBF"sv, false, "lone last continuation byte"},
    {"a\x80"sv, false, "continuation after ASCII"},
    {"\xC3\xA9\x80"sv, false, "continuation after a complete character"},
    {"\xC2"sv, false, "two-byte lead cut by the end"},
    {"\xE2\x82"sv, false, "three-byte sequence cut by the end"},
    {"\xF0\x9F\x98"sv, false, "four-byte sequence cut by the end"},
    {"\xC2\x41"sv, false, "lead byte followed by ASCII"},
    {"\xE2\x28\xA1"sv, false, "bad second byte of three"},
    {"\xE2\x82\x28"sv, false, "bad third byte of three"},
    {"\xF0\x9F\x98\x28"sv, false, "bad fourth byte of four"},
};

// Whether a reader takes `bytes` as UTF-8: the SET readers check the whole
// text before anything else and give row 0 only for that.
bool reads_as_utf8(std::string_view bytes) {
    const auto r = set::parse_dtcfile(bytes);
    return r.ok() || r.error().row() != 0;
}

TEST(Utf8, BoundarySequences) {
    for (const auto& c : utf8_cases) {
        EXPECT_EQ(reads_as_utf8(c.bytes), c.valid) << c.why;
    }
}

// The structural pass checks 64-byte blocks and skips those that are all
// ASCII. Every sequence must be judged the same wherever it falls relative
// to those blocks and whatever ASCII follows it.
TEST(Utf8, SequencesAtEveryAlignment) {
    for (const auto& c : utf8_cases) {
        for (std::size_t before = 0; before <= 130; ++before) {
            for (const std::size_t after : {0u, 1u, 7u, 15u, 16u, 17u, 33u, 63u, 64u, 65u}) {
                const std::string text = std::string(before, 'x') + std::string(c.bytes) + std::string(after, 'y');
                ASSERT_EQ(reads_as_utf8(text), c.valid)
                    << c.why << " after " << before << " ASCII bytes, before " << after;
            }
        }
    }
}

std::string random_valid_text(std::mt19937_64& rng) {
    std::string s;
    const std::size_t pieces = rng() % 12;
    for (std::size_t k = 0; k < pieces; ++k) {
        switch (rng() % 3) {
            case 0:  // long ASCII runs, to cross the 64-byte blocks
                s.append(rng() % 40, static_cast<char>('!' + rng() % 90));
                break;
            default: {
                std::uint32_t cp;
                do {
                    const std::uint32_t limits[] = {0x80, 0x800, 0x10000, 0x110000};
                    cp = static_cast<std::uint32_t>(rng() % limits[rng() % 4]);
                } while (cp >= 0xD800 && cp <= 0xDFFF);
                s += test::utf8(cp);
            }
        }
    }
    return s;
}

TEST(Utf8, AgreesWithReferenceDecoderOnMutatedText) {
    std::mt19937_64 rng(20240917);
    std::size_t invalid_seen = 0;
    for (int round = 0; round < 200000; ++round) {
        std::string s = random_valid_text(rng);
        ASSERT_TRUE(reads_as_utf8(s)) << test::hex(s);
        const std::size_t edits = rng() % 3;
        for (std::size_t e = 0; e < edits && !s.empty(); ++e) {
            const std::size_t at = rng() % s.size();
            switch (rng() % 4) {
                case 0:
                    s[at] = static_cast<char>(rng() % 256);
                    break;
                case 1:
                    s.insert(at, 1, static_cast<char>(0x80 + rng() % 128));
                    break;
                case 2:
                    s.erase(at, 1);
                    break;
                default:
                    s.resize(at);
                    break;  // cut, possibly inside a character
            }
        }
        const bool expected = fuzz::utf8_ok(s);  // the plain decoder of the fuzz targets
        invalid_seen += expected ? 0 : 1;
        ASSERT_EQ(reads_as_utf8(s), expected) << "seed 20240917, round " << round << ": " << test::hex(s);
    }
    EXPECT_GT(invalid_seen, 10000u);  // the mutations must actually reach the error paths
}

// ---------------------------------------------------------------------------
// White_Space

// The Unicode White_Space property, as published in PropList.txt.
bool is_white_space(std::uint32_t cp) {
    return (cp >= 0x09 && cp <= 0x0D) || cp == 0x20 || cp == 0x85 || cp == 0xA0 || cp == 0x1680 ||
           (cp >= 0x2000 && cp <= 0x200A) || cp == 0x2028 || cp == 0x2029 || cp == 0x202F || cp == 0x205F ||
           cp == 0x3000;
}

TEST(WhiteSpace, EveryCodePointAtEitherEnd) {
    for (std::uint32_t cp = 0; cp <= 0x10FFFF; ++cp) {
        if (cp >= 0xD800 && cp <= 0xDFFF) continue;
        const std::string c = test::utf8(cp);
        const std::size_t expected = is_white_space(cp) ? c.size() : 0;
        ASSERT_EQ(leading_space(c + "a"), expected) << std::hex << "U+" << cp;
        ASSERT_EQ(trailing_space("a" + c), expected) << std::hex << "U+" << cp;
        // A longer character before it must not be mistaken for part of it.
        ASSERT_EQ(trailing_space("\xF0\x9F\x98\x80" + c), expected) << std::hex << "U+" << cp;
    }
}

struct TrimCase {
    std::string_view in;
    std::string_view out;
    const char* why;
};

const TrimCase trim_cases[] = {
    {"", "", "empty"},
    {" \t\r\n\v\f", "", "only ASCII white space"},
    {"  a b  ", "a b", "inner space stays"},
    {"\xC2\x85\xC2\xA0"
     "7\xE3\x80\x80",
     "7", "NEL, no-break space and ideographic space"},
    {"\xE1\x9A\x80\xE2\x80\x80\xE2\x80\x8A"
     "7"
     "\xE2\x80\xA8\xE2\x80\xA9\xE2\x80\xAF\xE2\x81\x9F",
     "7", "U+1680, U+2000, U+200A, U+2028, U+2029, U+202F, U+205F"},
    {"\x1C\x1D"
     "7\x1E\x1F",
     "\x1C\x1D"
     "7\x1E\x1F",
     "U+001C..U+001F: isspace() but not White_Space"},
    {"\xE2\x80\x8B"
     "7\xE2\x80\x8B",
     "\xE2\x80\x8B"
     "7\xE2\x80\x8B",
     "U+200B zero width space"},
    {"\xEF\xBB\xBF"
     "7\xEF\xBB\xBF",
     "\xEF\xBB\xBF"
     "7\xEF\xBB\xBF",
     "U+FEFF byte-order mark"},
    {"\xE1\xA0\x8E"
     "7\xE1\xA0\x8E",
     "\xE1\xA0\x8E"
     "7\xE1\xA0\x8E",
     "U+180E, White_Space only until Unicode 6.3"},
    {"\xE2\x81\xA0"
     "7\xE2\x81\xA0",
     "\xE2\x81\xA0"
     "7\xE2\x81\xA0",
     "U+2060 word joiner"},
    // A fixed-width field may cut through a character; the stump is not space.
    {"7\xE2\x80", "7\xE2\x80", "the first two bytes of U+2000 at the end"},
    {"\x80\x80"
     "7",
     "\x80\x80"
     "7",
     "the last two bytes of U+2000 at the start"},
    {"\xA0"
     "7\xC2",
     "\xA0"
     "7\xC2",
     "U+00A0 split in two"},
    {"\xC2", "\xC2", "a lone lead byte"},
    {"\xE2\x80\x80\xE2\x80", "\xE2\x80", "a whole U+2000 before a cut one"},
    {" \xE3\x80", "\xE3\x80", "ASCII space before a cut U+3000"},
};

TEST(WhiteSpace, Trim) {
    for (const auto& c : trim_cases) {
        EXPECT_EQ(test::hex(trim(c.in)), test::hex(c.out)) << c.why;
        EXPECT_EQ(is_blank(c.in), c.out.empty()) << c.why;
    }
}

// ---------------------------------------------------------------------------
// Lines

// The lines a reader sees in `text`, with 'a' and 'b' standing for two
// DTCFILE data lines: the dates of the records read, 'a' for day 1 and
// 'b' for day 2, one per line that holds one (a line that holds both
// reads as its first).
std::vector<std::string> split_lines(std::string_view text) {
    const std::string a = test::make_dtc_line("1997", "1"), b = test::make_dtc_line("1997", "2");
    std::string file;
    for (const char c : text) file += c == 'a' ? a : c == 'b' ? b : std::string(1, c);
    const auto r = set::parse_dtcfile(file);
    EXPECT_TRUE(r.ok()) << r.error().display();
    std::vector<std::string> out;
    if (r.ok()) {
        for (const auto& rec : r.value()) out.emplace_back(rec.date.day == 1 ? "a" : "b");
    }
    return out;
}

// The same for the lines of `lines` that are not blank.
std::vector<std::string> data_lines(const std::vector<std::string>& lines) {
    std::vector<std::string> out;
    for (const auto& l : lines) {
        if (!is_blank(l)) out.emplace_back(l.substr(0, 1));
    }
    return out;
}

struct LinesCase {
    std::string_view text;
    std::vector<std::string> lines;
    const char* why;
};

TEST(Lines, Split) {
    const LinesCase cases[] = {
        {"", {}, "empty text has no lines"},
        {"\n", {""}, "a lone LF is one empty line"},
        {"\r\n", {""}, "a lone CRLF is one empty line"},
        {"a", {"a"}, "a last line without LF"},
        {"a\n", {"a"}, "a final LF starts no further line"},
        {"a\nb", {"a", "b"}, "LF"},
        {"a\r\nb\r\n", {"a", "b"}, "CRLF"},
        {"a\rb\n", {"a\rb"}, "a lone CR is no line end"},
        {"a\r", {"a\r"}, "a CR ending the last line without LF stays"},
        {"a\r\r\n", {"a\r"}, "only the CR right before the LF goes"},
        {"\n\n", {"", ""}, "two empty lines"},
        {"a\n\r\nb", {"a", "", "b"}, "empty CRLF line in the middle"},
        {"\r", {"\r"}, "text of one CR"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(split_lines(c.text), data_lines(c.lines)) << c.why;
    }
}

}  // namespace
}  // namespace tarnwick::parsers
