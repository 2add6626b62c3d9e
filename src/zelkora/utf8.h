#pragma once
// UTF-8 in and out of the engine's code points, for text that leaves or enters the
// program as bytes (the command line, files, pipes).

#include <optional>
#include <string>
#include <string_view>

namespace zelkora {

// Writes code point `c` at `out` (one to four bytes) and returns the end. Inline: it runs
// once per character of every password written.
inline char* put_utf8(char* out, char32_t c) {
    if (c < 0x80) {
        *out++ = static_cast<char>(c);
    } else if (c < 0x800) {
        *out++ = static_cast<char>(0xC0 | (c >> 6));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *out++ = static_cast<char>(0xE0 | (c >> 12));
        *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    } else {
        *out++ = static_cast<char>(0xF0 | (c >> 18));
        *out++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

// The code points of UTF-8 text, or nothing when it is not well-formed (overlong forms,
// surrogates and values past U+10FFFF included).
std::optional<std::u32string> decode_utf8(std::string_view text);

}  // namespace zelkora
