#include "generator.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string_view>
#include <unordered_set>
#include <utility>

#include <sodium.h>

#include "errors.h"
#include "symbol_warning.h"

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

// The draws a password too short for its pools makes before it is refused: the
// guaranteed characters come first.
template <typename Source>
[[noreturn]] void refuse_too_short(const PoolMap& pools, Source& random) {
    for (const auto& entry : pools) {
        random.choice(entry.second);
    }
    throw ValueError(MSG_TOO_SHORT);
}

// The body of generate_one, written into its place: `size` characters, at least one per
// pool. The fill alphabet is passed in so that a batch joins the pools once rather than
// once per password. A template so that a batch drawing from a SecureRandom session has
// its draws inlined rather than called through the interface.
template <typename Source>
void assemble(char32_t* chars, std::size_t size, const PoolMap& pools, std::u32string_view all_chars, Source& random) {
    std::size_t filled = 0;
    for (const auto& entry : pools) {
        chars[filled++] = random.choice(entry.second);
    }
    // The guaranteed characters end up anywhere, every arrangement equally likely.
    random.fill_and_shuffle(chars, filled, size, all_chars);
}

bool too_short(int length, const PoolMap& pools) {
    return length < 0 || static_cast<std::size_t>(length) < pools.size();
}

// Every password of the batch, written into its place.
template <typename Source>
void fill_batch(PasswordBatch& batch, const PoolMap& pools, std::u32string_view all_chars, Source& random) {
    char32_t* const chars = batch.data();
    const std::size_t length = batch.length();
    for (std::size_t i = 0; i < batch.size(); ++i) {
        assemble(chars + i * length, length, pools, all_chars, random);
    }
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
    // A password is one line: a reader that takes the output line by line must get each
    // one whole. A set not drawn from is no one's concern.
    if (contains(request.kinds, "symbols")) {
        if (const std::string refusal = symbol_set_refusal(symbol_set); !refusal.empty()) {
            throw ValueError(refusal);
        }
    }

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
    if (too_short(length, pools)) {
        refuse_too_short(pools, random);
    }
    std::u32string password(static_cast<std::size_t>(length), U'\0');
    assemble(password.data(), password.size(), pools, join_pools(pools), random);
    return password;
}

PasswordBatch::PasswordBatch(std::size_t length, std::size_t count)
    : _length(length),
      _count(count),
      _chars(std::make_unique_for_overwrite<char32_t[]>(length * count).release(), Wipe{length * count}) {}

PasswordBatch::PasswordBatch(std::initializer_list<std::u32string_view> passwords)
    : PasswordBatch(passwords.size() > 0 ? passwords.begin()->size() : 0, passwords.size()) {
    char32_t* at = _chars.get();
    for (const std::u32string_view password : passwords) {
        if (password.size() != _length) {
            throw std::invalid_argument("PasswordBatch: passwords of different lengths");
        }
        at = std::copy(password.begin(), password.end(), at);
    }
}

void PasswordBatch::Wipe::operator()(char32_t* chars) const noexcept {
    sodium_memzero(chars, size * sizeof(char32_t));
    delete[] chars;
}

std::u32string_view PasswordBatch::at(std::size_t index) const& {
    if (index >= _count) {
        throw std::out_of_range("PasswordBatch::at: no such password");
    }
    return (*this)[index];
}

PasswordBatch generate_passwords(const GenerationRequest& request) {
    // One source per request, dropped with its buffer at the end: nothing random
    // outlives the call.
    PasswordStream stream(request);
    return stream.next(static_cast<std::size_t>(request.count));
}

PasswordBatch generate_passwords(const GenerationRequest& request, RandomSource& random) {
    PasswordStream stream(request, random);
    return stream.next(static_cast<std::size_t>(request.count));
}

PasswordStream::PasswordStream(const GenerationRequest& request)
    : PasswordStream(request, std::make_unique<SecureRandom>(), nullptr) {}

PasswordStream::PasswordStream(const GenerationRequest& request, RandomSource& random)
    : PasswordStream(request, nullptr, &random) {}

PasswordStream::PasswordStream(const GenerationRequest& request, std::unique_ptr<SecureRandom> own,
                               RandomSource* random)
    : _own(std::move(own)), _random(random), _pools(_request_pools(request)) {
    // Before any batch claims its memory: a huge count refused on its first password
    // must not claim it first.
    if (too_short(request.length, _pools)) {
        if (_own) {
            SecureRandom::Session session(*_own);
            refuse_too_short(_pools, session);
        }
        refuse_too_short(_pools, *_random);
    }
    _all_chars = join_pools(_pools);
    _length = static_cast<std::size_t>(request.length);
}

// A session per batch: its draws are inlined, and the bits it leaves go back to the
// source for the next batch.
PasswordBatch PasswordStream::next(std::size_t count) {
    PasswordBatch batch(_length, count);
    if (_own) {
        SecureRandom::Session session(*_own);
        fill_batch(batch, _pools, _all_chars, session);
    } else {
        fill_batch(batch, _pools, _all_chars, *_random);
    }
    return batch;
}

}  // namespace zelkora
