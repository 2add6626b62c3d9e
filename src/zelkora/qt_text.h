#pragma once
// The engine's text (UTF-32) as Qt's (UTF-16): the default symbol set in a field,
// batches of passwords as the result area's text, and that text as a copy takes it.

#include <QString>

#include <string_view>

#include "generator.h"

namespace zelkora {

// For the program's own texts: like QString::fromUcs4, it drops a U+FEFF at the very
// start. Passwords go through append_result_text, which keeps it.
QString to_qstring(std::u32string_view text);

// The passwords added to the result area's text in the form the document takes, UTF-16
// with a line break between passwords, in one pass without a joined copy: a request's
// batches one after another make its text. Every character stays, a U+FEFF at the very
// start too; a value beyond Unicode becomes U+FFFD.
void append_result_text(QString& text, const PasswordBatch& passwords);

// Only the separators between passwords go: a blank or an ideographic space at either
// end may be a character of a password, and a copy must not weaken what it copies.
QString without_outer_line_breaks(const QString& text);

}  // namespace zelkora
