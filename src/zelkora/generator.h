#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "secure_random.h"

namespace zelkora {

inline constexpr std::u32string_view DEFAULT_SYMBOLS = U"!@#$%^&*()-_=+[]{};:,.?/\\";
inline constexpr std::u32string_view AMBIGUOUS_CHARS = U"01IOl";

// Kind name -> candidate characters. Entry order is meaningful: the guaranteed
// character of each kind is drawn in this order, and the fill alphabet joins the pools
// in this order.
using PoolMap = std::vector<std::pair<std::string, std::u32string>>;

PoolMap build_pool(const std::vector<std::string>& kinds, std::u32string_view symbols);
PoolMap _exclude_ambiguous(const PoolMap& pools);

std::u32string generate_one(int length, const PoolMap& pools);
std::u32string generate_one(int length, const PoolMap& pools, RandomSource& random);

struct GenerationRequest {
    int length = 0;
    std::vector<std::string> kinds;
    int count = 0;
    bool exclude_ambiguous = false;
    std::optional<std::u32string> symbols;
};

// Every refusal a request can meet before anything is drawn, in the order
// generate_passwords meets them; returns the pools its passwords are drawn from. A
// request too short for its pools is not refused here: that refusal comes with the
// first password.
PoolMap _request_pools(const GenerationRequest& request);

std::vector<std::u32string> generate_passwords(const GenerationRequest& request);
std::vector<std::u32string> generate_passwords(const GenerationRequest& request, RandomSource& random);

}  // namespace zelkora
