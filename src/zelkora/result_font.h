#pragma once
// The result list's face: one that tells 0 1 I O l apart, whatever faces the machine has
// and whatever face its locale makes the fixed-pitch fallback.

#include <QFont>

namespace zelkora {

// Whether `font` draws every printable ASCII character at one advance, so that the list's
// columns line up and a narrow l or 1 cannot pass for a wide O or 0, and draws no two of
// 0 1 I O l as the same glyph.
bool tells_ambiguous_apart(const QFont& font);

// `form_font` in the first installed face that tells them apart, of: Consolas and MS
// Gothic (every Windows has them, and Linux rarely), the form's own face, and DejaVu Sans
// Mono, which the scripts install. With none of them, the form's font asking for those
// faces in that order and for any fixed-pitch face after them.
QFont result_list_font(const QFont& form_font);

}  // namespace zelkora
