#include "qt_text.h"

#include <algorithm>

namespace zelkora {

namespace {

// One password in UTF-16 at out; returns where it ends. Unlike fromUcs4 it keeps a
// U+FEFF at the very start of the text (fromUcs4 takes it for a byte-order mark and
// drops it); a value beyond Unicode becomes U+FFFD.
char16_t* put_utf16(char16_t* out, std::u32string_view password, bool all_in_bmp) {
    if (all_in_bmp)
        return std::transform(password.begin(), password.end(), out,
                              [](char32_t c) { return static_cast<char16_t>(c); });
    for (const char32_t c : password) {
        if (c > QChar::LastValidCodePoint) {
            *out++ = QChar::ReplacementCharacter;
        } else if (QChar::requiresSurrogates(c)) {
            *out++ = QChar::highSurrogate(c);
            *out++ = QChar::lowSurrogate(c);
        } else {
            *out++ = static_cast<char16_t>(c);
        }
    }
    return out;
}

}  // namespace

QString to_qstring(std::u32string_view text) {
    return QString::fromUcs4(text.data(), static_cast<qsizetype>(text.size()));
}

void append_result_text(QString& text, const PasswordBatch& passwords) {
    if (passwords.empty())
        return;
    const std::u32string_view chars = passwords.characters();
    // A reduction with no early exit, which is vectorised; the pairs are counted only for
    // text that needs them.
    char32_t largest = 0;
    for (const char32_t c : chars)
        largest = std::max(largest, c);
    const bool all_in_bmp = largest <= 0xFFFF;
    const auto pairs = all_in_bmp ? 0 : std::count_if(chars.begin(), chars.end(), [](char32_t c) {
        return QChar::requiresSurrogates(c) && c <= QChar::LastValidCodePoint;
    });
    const qsizetype at = text.size();
    const auto breaks = static_cast<qsizetype>(passwords.size()) - (at == 0 ? 1 : 0);
    text.resize(at + static_cast<qsizetype>(chars.size()) + breaks + pairs);
    char16_t* out = reinterpret_cast<char16_t*>(text.data()) + at;
    for (std::size_t i = 0; i < passwords.size(); ++i) {
        if (i > 0 || at > 0)
            *out++ = u'\n';
        out = put_utf16(out, passwords[i], all_in_bmp);
    }
}

QString without_outer_line_breaks(const QString& text) {
    const auto line_break = [](QChar c) { return c == QLatin1Char('\n') || c == QLatin1Char('\r'); };
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && line_break(text[begin]))
        ++begin;
    while (end > begin && line_break(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

}  // namespace zelkora
