#pragma once
// How strong the passwords of a request are, worked out from the options alone before
// anything is drawn.

#include <string>
#include <string_view>

#include "generator.h"

namespace zelkora {

// How much an attacker who knows the options (but not the random draws) has to guess:
// the entropy of the generator itself, not of one password it happened to make.
struct PasswordStrength {
    // Shannon entropy of one password, in bits: the average surprise.
    double shannon_bits = 0;
    // -log2 of the probability of the single most likely password: what the luckiest
    // first guess is worth.
    double min_entropy_bits = 0;
    // False when a character stands in two pools and the figures are lower bounds.
    bool exact = true;
};

// The strength of one password of `request`, whose count is ignored. Refuses exactly the
// requests generate_passwords refuses, with the same words, in the same order.
PasswordStrength password_strength(const GenerationRequest& request);

// The same for a pool map as generate_one draws from, pools non-empty and length at
// least their number.
PasswordStrength _pools_strength(int length, const PoolMap& pools);

// How the strength line words a strength. Judged by the most likely password: it is the
// one an attacker who knows the options tries first.
enum class StrengthRating { weak, fair, strong, very_strong };
StrengthRating strength_rating(const PasswordStrength& strength);
std::string_view strength_word(StrengthRating rating);

// The Shannon entropy as the strength line says it, "約 N ビット", or "N ビット以上" for a
// lower bound.
std::string strength_amount(const PasswordStrength& strength);

}  // namespace zelkora
