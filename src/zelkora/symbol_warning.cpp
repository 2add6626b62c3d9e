#include "symbol_warning.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>

#include "utf8.h"

namespace zelkora {

namespace {

// The kinds in the order they are named, what cannot be seen first: the name, and whether
// the character is shown by its code point (it shows nothing by itself) or as itself.
struct Kind {
    const char* name;
    bool by_code_point;
};
constexpr Kind KINDS[] = {
    {"見えない文字", true}, {"結合文字", true}, {"全角文字", false}, {" ASCII 以外の文字", false}};
enum Index : std::size_t { INVISIBLE_KIND, COMBINING_KIND, FULL_WIDTH_KIND, OTHER_KIND };

struct Range {
    char32_t first;
    char32_t last;
};

// Unicode's White_Space, controls, format characters and default-ignorable code points,
// less U+0020, and surrogates, which are no characters at all: in a password each is one
// the user cannot see, nor type from what they see.
constexpr Range INVISIBLE[] = {
    {0x0000, 0x001F}, {0x007F, 0x00A0},   {0x00AD, 0x00AD},   {0x034F, 0x034F},   {0x061C, 0x061C}, {0x115F, 0x1160},
    {0x1680, 0x1680}, {0x17B4, 0x17B5},   {0x180B, 0x180F},   {0x2000, 0x200F},   {0x2028, 0x202F}, {0x205F, 0x206F},
    {0x3000, 0x3000}, {0x3164, 0x3164},   {0xD800, 0xDFFF},   {0xFE00, 0xFE0F},   {0xFEFF, 0xFEFF}, {0xFFA0, 0xFFA0},
    {0xFFF0, 0xFFFB}, {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A}, {0xE0000, 0xE0FFF},
};

// The combining blocks, and the marks Japanese text brings (the kana voicing marks). Other
// scripts' marks are named as characters outside ASCII, which they are too.
constexpr Range COMBINING[] = {
    {0x0300, 0x036F}, {0x0483, 0x0489}, {0x1AB0, 0x1AFF}, {0x1DC0, 0x1DFF},
    {0x20D0, 0x20FF}, {0x302A, 0x302F}, {0x3099, 0x309A}, {0xFE20, 0xFE2F},
};

// East Asian wide and full-width characters, as terminals measure them (emoji aside): what
// an input method that is on types for a symbol key (！ ＃ 「 ー ・), and kana and kanji.
constexpr Range FULL_WIDTH[] = {
    {0x1100, 0x115F}, {0x2329, 0x232A}, {0x2E80, 0x303E}, {0x3040, 0xA4CF}, {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},
    {0xFE10, 0xFE19}, {0xFE30, 0xFE6F}, {0xFF00, 0xFF60}, {0xFFE0, 0xFFE6}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
};

template <std::size_t N>
bool in(const Range (&ranges)[N], char32_t c) {
    return std::any_of(std::begin(ranges), std::end(ranges),
                       [c](const Range& r) { return c >= r.first && c <= r.last; });
}

// Where the blank U+0020 stands with the rest of printable ASCII: the user typed it and
// sees it in the field.
std::optional<Index> kind_of(char32_t c) {
    if (c >= 0x20 && c < 0x7F) {
        return std::nullopt;
    }
    if (c > 0x10FFFF || in(INVISIBLE, c)) {
        return INVISIBLE_KIND;
    }
    if (in(COMBINING, c)) {
        return COMBINING_KIND;
    }
    return in(FULL_WIDTH, c) ? FULL_WIDTH_KIND : OTHER_KIND;
}

std::string code_point(char32_t c) {
    char text[16];
    std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(c));
    return text;
}

std::string character(char32_t c) {
    char text[4];
    return {text, put_utf8(text, c)};
}

}  // namespace

std::string symbol_set_warning(std::u32string_view symbols) {
    std::array<std::optional<char32_t>, std::size(KINDS)> first;
    for (const char32_t c : symbols) {
        if (const std::optional<Index> kind = kind_of(c); kind && !first[*kind]) {
            first[*kind] = c;
        }
    }
    for (std::size_t kind = 0; kind < first.size(); ++kind) {
        if (first[kind]) {
            const char32_t c = *first[kind];
            return std::string("記号セットに") + KINDS[kind].name + "があります（" +
                   (KINDS[kind].by_code_point ? code_point(c) : character(c)) + "）";
        }
    }
    return {};
}

std::string symbol_set_warning(const GenerationRequest& request) {
    const bool draws_symbols = std::find(request.kinds.begin(), request.kinds.end(), "symbols") != request.kinds.end();
    return draws_symbols && request.symbols ? symbol_set_warning(*request.symbols) : std::string();
}

}  // namespace zelkora
