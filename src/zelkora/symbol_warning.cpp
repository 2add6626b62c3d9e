#include "symbol_warning.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>
#include <unordered_set>
#include <vector>

#include "utf8.h"

namespace zelkora {

namespace {

struct ClassRange {
    char32_t first;
    char32_t last;
    CharacterClass character_class;
};

// CLASS_RANGES: sorted, disjoint, generated from Unicode's data files at build time.
#include "character_classes.h"

constexpr char32_t REPLACEMENT_CHARACTER = 0xFFFD;

// The kinds in the order they are named, what cannot be seen first: the name, and whether
// a character is shown by its code point (it shows nothing by itself, or joins the
// bracket before it) or as itself.
struct Kind {
    const char* name;
    bool by_code_point;
};
constexpr Kind KINDS[] = {
    {"見えない文字", true}, {"変換できなかった文字", true}, {"先頭か末尾の空白", true}, {"結合文字", true},
    {"全角文字", false},    {"ASCII 以外の文字", false},
};
enum Index : std::size_t { INVISIBLE_KIND, REPLACED_KIND, END_BLANK_KIND, COMBINING_KIND, FULL_WIDTH_KIND, OTHER_KIND };

// A set's first characters named for each kind; more are only counted, so the line stays
// short for a set of thousands.
constexpr std::size_t NAMED_PER_KIND = 2;

// A refused set's control characters, named as the kinds are.
constexpr Kind CONTROL_KIND = {"改行などの制御文字", true};

bool is_blank(char32_t c) {
    return std::binary_search(std::begin(BLANKS), std::end(BLANKS), c);
}

// The blanks of the runs at the start and at the end of the set, which the field does not
// show, unlike a blank between two characters.
std::unordered_set<char32_t> blanks_at_the_ends(std::u32string_view symbols) {
    std::unordered_set<char32_t> found;
    for (auto c = symbols.begin(); c != symbols.end() && is_blank(*c); ++c)
        found.insert(*c);
    for (auto c = symbols.rbegin(); c != symbols.rend() && is_blank(*c); ++c)
        found.insert(*c);
    return found;
}

// A lone surrogate from the clipboard arrives as U+FFFD, which the passwords then hold:
// the user meant something else.
std::optional<Index> kind_of(char32_t c, const std::unordered_set<char32_t>& end_blanks) {
    if (end_blanks.count(c) > 0)
        return END_BLANK_KIND;
    if (c == REPLACEMENT_CHARACTER)
        return REPLACED_KIND;
    switch (character_class(c)) {
        case CharacterClass::printable_ascii:
            return std::nullopt;
        case CharacterClass::invisible:
            return INVISIBLE_KIND;
        case CharacterClass::combining:
            return COMBINING_KIND;
        case CharacterClass::full_width:
            return FULL_WIDTH_KIND;
        case CharacterClass::other:
            break;
    }
    return OTHER_KIND;
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

// "見えない文字 3 個（U+00A0、U+200B ほか）": the kind, how many different characters, and
// the first of them. A blank shows nothing by itself, whatever its kind.
std::string named_kind(const Kind& kind, const std::vector<char32_t>& found, std::size_t count) {
    std::string text = std::string(kind.name) + " " + std::to_string(count) + " 個（";
    for (std::size_t i = 0; i < found.size(); ++i) {
        const bool by_code_point = kind.by_code_point || is_blank(found[i]);
        text += (i > 0 ? "、" : "") + (by_code_point ? code_point(found[i]) : character(found[i]));
    }
    return text + (count > found.size() ? " ほか）" : "）");
}

}  // namespace

CharacterClass character_class(char32_t c) {
    if (c >= 0x20 && c < 0x7F)
        return CharacterClass::printable_ascii;
    if (c > 0x10FFFF)
        return CharacterClass::invisible;
    const auto after = std::upper_bound(std::begin(CLASS_RANGES), std::end(CLASS_RANGES), c,
                                        [](char32_t value, const ClassRange& range) { return value < range.first; });
    if (after == std::begin(CLASS_RANGES) || std::prev(after)->last < c)
        return CharacterClass::other;
    return std::prev(after)->character_class;
}

// Cc is closed: Unicode never adds to it or takes from it, so it needs no table.
bool is_control_character(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
}

std::string symbol_set_refusal(std::u32string_view symbols) {
    std::vector<char32_t> named;
    std::unordered_set<char32_t> seen;
    for (const char32_t c : symbols) {
        if (is_control_character(c) && seen.insert(c).second && seen.size() <= NAMED_PER_KIND)
            named.push_back(c);
    }
    if (seen.empty())
        return {};
    return "記号セットに" + named_kind(CONTROL_KIND, named, seen.size()) + "があるため生成できません";
}

std::string symbol_set_warning(std::u32string_view symbols) {
    const std::unordered_set<char32_t> end_blanks = blanks_at_the_ends(symbols);
    std::array<std::vector<char32_t>, std::size(KINDS)> named;
    std::array<std::size_t, std::size(KINDS)> counts{};
    std::unordered_set<char32_t> seen;
    for (const char32_t c : symbols) {
        const std::optional<Index> kind = kind_of(c, end_blanks);
        if (kind && seen.insert(c).second && ++counts[*kind] <= NAMED_PER_KIND)
            named[*kind].push_back(c);
    }
    std::string text;
    for (std::size_t kind = 0; kind < std::size(KINDS); ++kind) {
        if (counts[kind] > 0)
            text += (text.empty() ? "" : "、") + named_kind(KINDS[kind], named[kind], counts[kind]);
    }
    if (text.empty())
        return {};
    // Japanese leaves a space between its own script and a Latin word, not after "、".
    return std::string("記号セットに") + (text[0] == 'A' ? " " : "") + text + "があります";
}

std::string symbol_set_warning(const GenerationRequest& request) {
    const bool draws_symbols = std::find(request.kinds.begin(), request.kinds.end(), "symbols") != request.kinds.end();
    return draws_symbols && request.symbols ? symbol_set_warning(*request.symbols) : std::string();
}

}  // namespace zelkora
