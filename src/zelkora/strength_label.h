#pragma once
// The window's strength line: the strength of the passwords the options would give, in
// bits and a word, on a label.

#include "generator.h"

class QLabel;

namespace zelkora {

// Puts the strength of the passwords `request` would give on `label`: the Shannon
// entropy in whole bits and a word for the most likely password's, with a tooltip that
// says what they mean; or, for options the engine would refuse, its own words.
void show_strength(QLabel& label, const GenerationRequest& request);

}  // namespace zelkora
