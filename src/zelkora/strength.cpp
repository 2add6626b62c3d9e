#include "strength.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <unordered_map>
#include <vector>

#include "errors.h"

// A password is drawn as: one character from each of the k pools, L - k from all of them
// joined (N characters), then a uniform shuffle. When no character stands in two pools,
// a password with c_i characters from pool i comes out of exactly prod(c_i) * (L - k)!
// of the L! orders of the draws, all equally likely, so
//
//     P(s) = (L - k)!/L! * prod(c_i) * prod(1/n_i) * N^-(L - k),
//
// which depends on s only through its counts. The Shannon entropy follows from the
// counts' distribution (c_i = 1 + d_i, d_i binomial over the L - k fill draws), and the
// most likely password is the one with the most even counts.
//
// When pools share characters, the same formula holds for the positions in the joined
// alphabet that were drawn (which do not share), and a password is what those positions
// spell. Merging outcomes loses at most log2 of how many position strings spell the same
// password, so the figures become lower bounds: see shared_pools_bounds.

namespace zelkora {

namespace {

constexpr const char* MSG_TOO_SHORT = "長さが短すぎます";

// log2(L!/(L - k)!)
double log2_orders(int length, std::size_t kinds) {
    double bits = 0;
    for (std::size_t i = 0; i < kinds; ++i) {
        bits += std::log2(static_cast<double>(length) - static_cast<double>(i));
    }
    return bits;
}

// E[log2(1 + d)] for d binomial with `trials` draws of chance p. The terms are built
// one from the last in log space: for a thousand trials the probabilities underflow
// and the binomial coefficients overflow a double. Terms further than 12 standard
// deviations and 40 more from the mean weigh less than 1e-25 together (Chernoff) and are
// left out, so the cost grows with the square root of the length, not with the length.
double expected_log2_count(int trials, double p) {
    if (trials == 0 || p <= 0) {
        return 0;
    }
    if (p >= 1) {
        return std::log2(1.0 + trials);
    }
    const double n = trials;
    const double spread = 12 * std::sqrt(n * p * (1 - p)) + 40;
    const int first = static_cast<int>(std::max(0.0, std::floor(n * p - spread)));
    const int last = static_cast<int>(std::min(n, std::ceil(n * p + spread)));
    const double odds = std::log(p) - std::log1p(-p);
    double log_pmf = std::lgamma(n + 1) - std::lgamma(first + 1.0) - std::lgamma(n - first + 1) + first * std::log(p) +
                     (n - first) * std::log1p(-p);
    double sum = 0;
    for (int d = first; d <= last; ++d) {
        if (d > first) {
            log_pmf += std::log((n - d + 1) / d) + odds;
        }
        sum += std::exp(log_pmf) * std::log2(1.0 + d);
    }
    return sum;
}

struct Sizes {
    std::vector<double> pools;  // n_i
    double all = 0;             // N
};

Sizes sizes_of(const PoolMap& pools) {
    Sizes sizes;
    for (const auto& entry : pools) {
        sizes.pools.push_back(static_cast<double>(entry.second.size()));
        sizes.all += static_cast<double>(entry.second.size());
    }
    return sizes;
}

// -log2 of (L - k)!/L! * prod(1/n_i) * N^-(L - k): the probability of a password with
// one character of each kind in each count.
double log2_inverse_unit(int length, const Sizes& sizes) {
    const std::size_t kinds = sizes.pools.size();
    double bits = log2_orders(length, kinds) + (length - static_cast<double>(kinds)) * std::log2(sizes.all);
    for (const double n : sizes.pools) {
        bits += std::log2(n);
    }
    return bits;
}

// The figures for pools that share no character, where they are exact.
PasswordStrength disjoint_strength(int length, const Sizes& sizes) {
    const auto kinds = static_cast<int>(sizes.pools.size());
    const double unit = log2_inverse_unit(length, sizes);

    double expected_counts = 0;
    for (const double n : sizes.pools) {
        expected_counts += expected_log2_count(length - kinds, n / sizes.all);
    }
    // The most likely password: counts as even as they go, L/k each, the remainder one
    // more in some pools.
    const int each = length / kinds;
    const int more = length % kinds;
    const double even_counts = (kinds - more) * std::log2(each) + more * std::log2(each + 1.0);

    return {.shannon_bits = unit - expected_counts, .min_entropy_bits = unit - even_counts, .exact = true};
}

// Lower bounds when some characters stand in several pools. With m(c) the number of pools
// holding c (no pool holds a character twice):
// - Shannon: the drawn positions have the disjoint entropy; a password is spelt by at most
//   prod m(c) position strings, so it keeps at least that entropy less E[sum log2 m(c)],
//   which is exact over the k guaranteed draws and the L - k fill draws.
// - Most likely password: P(s) = unit * prod_p m(s_p) * sum over ways of picking a
//   distinct guaranteed position per pool of prod 1/m. That sum is at most prod_i w_i with
//   w_i = sum over the positions of pool i's characters of 1/m, and sum_i w_i = L. With u
//   positions of shared characters, prod_p m(s_p) <= m_max^u, and the z pools that share
//   nothing have only the other L - u positions: sum of their w_i <= L - u. The product is
//   largest with those z equal and the rest equal; the bound is the largest over u.
// log2 of the largest m_max^u * prod_i w_i over the shared positions u (see above).
// While the unshared pools can still have L/k each, more shared positions only add; past
// that the logarithm is concave in u. So it rises to one peak and falls, and the peak is
// found by bisection on the sign of its steps.
double most_likely_bits(int length, double kinds, int unshared_pools, int most_holders) {
    const double z = unshared_pools;
    const auto bits = [&](int shared) {
        const double each_unshared = z > 0 ? std::min(length / kinds, (length - shared) / z) : 0;
        const double each_shared = (length - z * each_unshared) / (kinds - z);
        double total = shared * std::log2(most_holders) + (kinds - z) * std::log2(each_shared);
        if (z > 0) {
            total += z * std::log2(each_unshared);
        }
        return total;
    };
    int low = 0;  // the peak lies in [low, high]
    int high = length - unshared_pools;
    while (low < high) {
        const int middle = low + (high - low) / 2;
        if (bits(middle + 1) > bits(middle)) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return bits(low);
}

PasswordStrength shared_pools_bounds(int length, const PoolMap& pools, const Sizes& sizes) {
    std::unordered_map<char32_t, int> holders;
    for (const auto& entry : pools) {
        for (const char32_t c : entry.second) {
            ++holders[c];
        }
    }
    const auto shared = [&](char32_t c) { return std::log2(holders.at(c)); };

    const auto kinds = static_cast<double>(pools.size());
    double expected_shared = 0;
    double fill_shared = 0;
    int most_holders = 1;
    int unshared_pools = 0;
    for (const auto& [kind, chars] : pools) {
        double pool_shared = 0;
        for (const char32_t c : chars) {
            pool_shared += shared(c);
            most_holders = std::max(most_holders, holders.at(c));
        }
        expected_shared += pool_shared / static_cast<double>(chars.size());
        fill_shared += pool_shared;
        unshared_pools += pool_shared == 0 ? 1 : 0;
    }
    expected_shared += (length - kinds) * fill_shared / sizes.all;

    const double unit = log2_inverse_unit(length, sizes);
    const double min_entropy = std::max(0.0, unit - most_likely_bits(length, kinds, unshared_pools, most_holders));
    const double shannon = disjoint_strength(length, sizes).shannon_bits - expected_shared;
    return {.shannon_bits = std::max(shannon, min_entropy), .min_entropy_bits = min_entropy, .exact = false};
}

bool pools_share_a_character(const PoolMap& pools) {
    std::unordered_map<char32_t, std::size_t> owner;
    for (std::size_t i = 0; i < pools.size(); ++i) {
        for (const char32_t c : pools[i].second) {
            if (!owner.emplace(c, i).second) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace

PasswordStrength _pools_strength(int length, const PoolMap& pools) {
    const Sizes sizes = sizes_of(pools);
    if (pools_share_a_character(pools)) {
        return shared_pools_bounds(length, pools, sizes);
    }
    return disjoint_strength(length, sizes);
}

PasswordStrength password_strength(const GenerationRequest& request) {
    // The count changes how many passwords there are, not how strong each one is; a
    // request is judged as if it asked for one.
    GenerationRequest one = request;
    one.count = 1;
    const PoolMap pools = _request_pools(one);
    if (static_cast<std::size_t>(request.length) < pools.size()) {
        throw ValueError(MSG_TOO_SHORT);
    }
    return _pools_strength(request.length, pools);
}

StrengthRating strength_rating(const PasswordStrength& strength) {
    if (strength.min_entropy_bits < 60) {
        return StrengthRating::weak;
    }
    if (strength.min_entropy_bits < 80) {
        return StrengthRating::fair;
    }
    if (strength.min_entropy_bits < 112) {
        return StrengthRating::strong;
    }
    return StrengthRating::very_strong;
}

std::string_view strength_word(StrengthRating rating) {
    constexpr std::string_view WORDS[] = {"弱い", "普通", "強い", "とても強い"};
    return WORDS[static_cast<int>(rating)];
}

// Rounded down, so the line never claims a bit the options do not give; the tolerance
// keeps a figure that is whole in exact arithmetic from losing one to rounding.
std::string strength_amount(const PasswordStrength& strength) {
    const std::string bits = std::to_string(static_cast<long long>(std::floor(strength.shannon_bits + 1e-9)));
    return strength.exact ? "約 " + bits + " ビット" : bits + " ビット以上";
}

}  // namespace zelkora
