#pragma once
// What a person should know of a symbol set before its characters go into passwords:
// characters no one sees, ones an input method typed in full width, marks that join the
// character before them, anything else no US or Japanese keyboard types. The set is
// used as it is all the same: this only says so. Only a set that would break a password
// across lines is refused.

#include <string>
#include <string_view>

#include "generator.h"

namespace zelkora {

// What a character is on its own, by the Unicode Character Database the program was built
// with: invisible (controls, format characters, blanks, separators, surrogates, private
// use, unassigned code points and noncharacters, default-ignorable code points and a few
// that draw nothing, such as U+2800; U+0020 aside), combining (Mn, Mc, Me), full-width
// (East Asian Width W or F) or none of these, outside printable ASCII or in it. Each class
// in this order wins over those after it, but for U+3000, a blank that is full-width.
enum class CharacterClass { printable_ascii, invisible, combining, full_width, other };
CharacterClass character_class(char32_t c);

// Whether `c` starts a new line of text, or is any other control character (Cc, and the
// line and paragraph separators U+2028 and U+2029): none goes into a password, which is
// always one line.
bool is_control_character(char32_t c);

// Why `symbols` cannot be used, one short Japanese line in UTF-8 naming its control
// characters by code point; empty when it can.
std::string symbol_set_refusal(std::u32string_view symbols);

// One short Japanese line, UTF-8, naming every kind `symbols` holds of, each with how many
// different characters and the first one or two: invisible characters, U+FFFD (what a
// broken character was turned into), a blank (Zs) at either end (which the field does not
// show), combining marks, full-width characters and any other character outside
// printable ASCII. A character is named under one kind: at an end a blank is named as
// that, wherever else it is; U+FFFD as itself; the rest by their class. A blank, and what
// shows nothing by itself or joins its neighbour, is named by its code point; the rest as
// itself. Empty when there is nothing to say.
std::string symbol_set_warning(std::u32string_view symbols);

// The same for the set `request` draws from: empty when it draws no symbols, or the
// default ones.
std::string symbol_set_warning(const GenerationRequest& request);

}  // namespace zelkora
