#include "utf8.h"

#include <array>

namespace zelkora {

std::optional<std::u32string> decode_utf8(std::string_view text) {
    std::u32string decoded;
    decoded.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t size = lead < 0x80                   ? 1
                                 : lead >= 0xC2 && lead < 0xE0 ? 2
                                 : lead >= 0xE0 && lead < 0xF0 ? 3
                                 : lead >= 0xF0 && lead < 0xF5 ? 4
                                                               : 0;
        if (size == 0 || i + size > text.size()) {
            return std::nullopt;
        }
        char32_t c = size == 1 ? lead : lead & (0x7F >> size);
        for (std::size_t k = 1; k < size; ++k) {
            const auto trail = static_cast<unsigned char>(text[i + k]);
            if ((trail & 0xC0) != 0x80) {
                return std::nullopt;
            }
            c = (c << 6) | (trail & 0x3F);
        }
        // The shortest form only, and no surrogate or value past Unicode.
        constexpr std::array<char32_t, 5> LEAST = {0, 0, 0x80, 0x800, 0x10000};
        if (c < LEAST[size] || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
            return std::nullopt;
        }
        decoded.push_back(c);
        i += size;
    }
    return decoded;
}

}  // namespace zelkora
