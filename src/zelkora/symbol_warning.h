#pragma once
// What a person should know of a symbol set before its characters go into passwords:
// characters no one sees, ones an input method typed in full width, marks that join the
// character before them, anything else no US or Japanese keyboard types. The set is
// used as it is all the same: this only says so.

#include <string>
#include <string_view>

#include "generator.h"

namespace zelkora {

// One short Japanese phrase, UTF-8, naming the first kind `symbols` holds of: invisible
// characters (blanks other than U+0020, controls, format characters, variation selectors;
// with the code point), combining marks (with the code point), full-width characters
// (with the character) and any other character outside printable ASCII (with the
// character). Empty when the set is printable ASCII only.
std::string symbol_set_warning(std::u32string_view symbols);

// The same for the set `request` draws from: empty when it draws no symbols, or the
// default ones.
std::string symbol_set_warning(const GenerationRequest& request);

}  // namespace zelkora
