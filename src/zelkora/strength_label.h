#pragma once
// The window's strength line: the strength of the passwords the options would give, in
// bits and a word, on a label.

#include <QColor>
#include <QString>

#include <optional>

#include "generator.h"
#include "strength.h"

class QLabel;

namespace zelkora {

// Puts the strength of the passwords `request` would give on `label`: the Shannon
// entropy in whole bits and a word for the most likely password's, with a tooltip that
// says what they mean, and after them every kind of character the symbol set holds that
// the user may not have meant, if any; or, for options the engine would refuse (a symbol
// set with a line break among them), its own words.
void show_strength(QLabel& label, const GenerationRequest& request);

// Puts on `label`, in place of a strength, why the options give no passwords.
void show_refusal(QLabel& label, const QString& why);

// The colour of the word for `rating` on a window of colour `window`: the word's own hue,
// made darker or lighter until it reaches 4.5:1 on that window, whatever the theme made
// it; none while a contrast theme is on, so the label's own text colour, the theme's,
// shows it.
std::optional<QColor> strength_word_colour(StrengthRating rating, const QColor& window, bool contrast_theme);

}  // namespace zelkora
