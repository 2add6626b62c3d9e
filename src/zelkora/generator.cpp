#include "generator.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <iterator>
#include <string_view>
#include <unordered_set>
#include <utility>

#include "errors.h"

namespace zelkora {

namespace {

constexpr const char* MSG_LENGTH_MIN = "length は 1 以上を指定してください";
constexpr const char* MSG_COUNT_MIN = "count は 1 以上を指定してください";
constexpr const char* MSG_NO_KIND = "少なくとも1種類を指定してください";
constexpr const char* MSG_BAD_KIND = "kinds が不正です";
constexpr const char* MSG_EMPTY_POOL = "候補文字が空です";
constexpr const char* MSG_TOO_SHORT = "長さが短すぎます";

constexpr std::array<std::string_view, 4> KIND_NAMES = {"digits", "lower", "upper", "symbols"};

bool contains(const std::vector<std::string>& kinds, std::string_view name) {
    return std::find(kinds.begin(), kinds.end(), name) != kinds.end();
}

bool is_ambiguous(char32_t c) {
    return AMBIGUOUS_CHARS.find(c) != std::u32string_view::npos;
}

// First occurrence wins and keeps its place. Symbol sets may be pasted from anywhere,
// so the cost stays linear in their length.
std::u32string without_repeats(std::u32string_view text) {
    std::u32string unique;
    std::unordered_set<char32_t> seen;
    seen.reserve(text.size());
    for (const char32_t c : text) {
        if (seen.insert(c).second) {
            unique.push_back(c);
        }
    }
    return unique;
}

bool has_empty_pool(const PoolMap& pools) {
    return std::any_of(pools.begin(), pools.end(), [](const auto& entry) { return entry.second.empty(); });
}

std::u32string join_pools(const PoolMap& pools) {
    std::u32string all_chars;
    for (const auto& entry : pools) {
        all_chars += entry.second;
    }
    return all_chars;
}

// The body of generate_one, with the fill alphabet passed in so that a batch joins the
// pools once rather than once per password. A template so that a batch drawing from
// a SecureRandom session has its draws inlined rather than called through the interface.
template <typename Source>
std::u32string assemble(int length, const PoolMap& pools, std::u32string_view all_chars, Source& random) {
    const std::size_t guaranteed = pools.size();
    const auto size = static_cast<std::size_t>(std::max(length, 0));
    // Written in place rather than appended: the string's size is not updated per
    // character, and the guaranteed draws fit even when the length turns out short.
    std::u32string password(std::max(guaranteed, size), U'\0');
    char32_t* const chars = password.data();

    std::size_t filled = 0;
    for (const auto& entry : pools) {
        chars[filled++] = random.choice(entry.second);
    }
    if (length < 0 || size < guaranteed) {
        throw ValueError(MSG_TOO_SHORT);
    }
    for (; filled < size; ++filled) {
        chars[filled] = random.choice(all_chars);
    }
    // Fisher-Yates from the back: the guaranteed characters end up anywhere, every
    // arrangement equally likely.
    for (std::size_t i = size; i-- > 1;) {
        const std::size_t j = random.randbelow(static_cast<std::uint32_t>(i + 1));
        std::swap(chars[i], chars[j]);
    }
    return password;
}

template <typename Source>
std::vector<std::u32string> make_batch(const GenerationRequest& request, Source& random) {
    const PoolMap pools = _request_pools(request);
    const std::u32string all_chars = join_pools(pools);
    std::vector<std::u32string> passwords;
    // Capped: a request refused on its first password (too short) must not claim
    // memory for all of a huge count first. Larger batches grow as they go.
    passwords.reserve(std::min<std::size_t>(static_cast<std::size_t>(request.count), 4096));
    for (int i = 0; i < request.count; ++i) {
        passwords.push_back(assemble(request.length, pools, all_chars, random));
    }
    return passwords;
}

}  // namespace

PoolMap build_pool(const std::vector<std::string>& kinds, std::u32string_view symbols) {
    PoolMap pools;
    if (contains(kinds, "digits")) {
        pools.emplace_back("digits", U"0123456789");
    }
    if (contains(kinds, "lower")) {
        pools.emplace_back("lower", U"abcdefghijklmnopqrstuvwxyz");
    }
    if (contains(kinds, "upper")) {
        pools.emplace_back("upper", U"ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    }
    if (contains(kinds, "symbols")) {
        pools.emplace_back("symbols", without_repeats(symbols));
    }
    if (pools.empty()) {
        throw ValueError(MSG_NO_KIND);
    }
    return pools;
}

PoolMap _exclude_ambiguous(const PoolMap& pools) {
    PoolMap filtered;
    filtered.reserve(pools.size());
    for (const auto& [kind, chars] : pools) {
        std::u32string kept;
        kept.reserve(chars.size());
        std::copy_if(chars.begin(), chars.end(), std::back_inserter(kept), [](char32_t c) { return !is_ambiguous(c); });
        filtered.emplace_back(kind, std::move(kept));
    }
    if (filtered.empty()) {
        throw ValueError(MSG_NO_KIND);
    }
    // A pool that loses everything is not dropped: the request would silently lose a
    // kind the user asked for.
    if (has_empty_pool(filtered)) {
        throw ValueError(MSG_EMPTY_POOL);
    }
    return filtered;
}

PoolMap _request_pools(const GenerationRequest& request) {
    if (request.length <= 0) {
        throw ValueError(MSG_LENGTH_MIN);
    }
    if (request.count <= 0) {
        throw ValueError(MSG_COUNT_MIN);
    }
    if (request.kinds.empty()) {
        throw ValueError(MSG_NO_KIND);
    }
    for (const auto& kind : request.kinds) {
        if (std::find(KIND_NAMES.begin(), KIND_NAMES.end(), kind) == KIND_NAMES.end()) {
            throw ValueError(MSG_BAD_KIND);
        }
    }
    const std::u32string_view symbol_set =
        request.symbols && !request.symbols->empty() ? std::u32string_view(*request.symbols) : DEFAULT_SYMBOLS;

    PoolMap pools = build_pool(request.kinds, symbol_set);
    if (has_empty_pool(pools)) {
        throw ValueError(MSG_EMPTY_POOL);
    }
    if (request.exclude_ambiguous) {
        pools = _exclude_ambiguous(pools);
    }
    return pools;
}

std::u32string generate_one(int length, const PoolMap& pools) {
    SecureRandom random;
    return generate_one(length, pools, random);
}

std::u32string generate_one(int length, const PoolMap& pools, RandomSource& random) {
    return assemble(length, pools, join_pools(pools), random);
}

std::vector<std::u32string> generate_passwords(const GenerationRequest& request) {
    // One source per request, dropped with its buffer at the end: nothing random
    // outlives the call.
    SecureRandom random;
    SecureRandom::Session session(random);
    return make_batch(request, session);
}

std::vector<std::u32string> generate_passwords(const GenerationRequest& request, RandomSource& random) {
    return make_batch(request, random);
}

}  // namespace zelkora
