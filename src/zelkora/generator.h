#pragma once
// Passwords drawn from the options: the candidate pools of the chosen kinds, at least
// one character of each kind, the rest from all of them, every arrangement equally likely.

#include <cstddef>
#include <initializer_list>
#include <iterator>
#include <memory>
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

// The passwords of one request, all of one length, end to end in one buffer: a batch
// costs one allocation rather than one per password, and a reader takes them without
// copying.
class PasswordBatch {
public:
    class const_iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = std::u32string_view;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = std::u32string_view;

        const_iterator() = default;
        std::u32string_view operator*() const { return (*_batch)[_index]; }
        const_iterator& operator++() {
            ++_index;
            return *this;
        }
        const_iterator operator++(int) {
            const_iterator before = *this;
            ++_index;
            return before;
        }
        bool operator==(const const_iterator&) const = default;

    private:
        friend class PasswordBatch;
        const_iterator(const PasswordBatch* batch, std::size_t index) : _batch(batch), _index(index) {}
        const PasswordBatch* _batch = nullptr;
        std::size_t _index = 0;
    };

    PasswordBatch() = default;
    // Room for count passwords of length characters, not yet written: its maker fills
    // all of data().
    PasswordBatch(std::size_t length, std::size_t count);
    // The passwords are wiped as the batch goes, and as a batch assigned over it goes.
    // A batch of the given passwords, which must all have the same length.
    PasswordBatch(std::initializer_list<std::u32string_view> passwords);

    std::size_t size() const { return _count; }
    bool empty() const { return _count == 0; }
    // The length every password of the batch has.
    std::size_t length() const { return _length; }
    // Views into the batch, so none from a batch about to go.
    std::u32string_view operator[](std::size_t index) const& { return {_chars.get() + index * _length, _length}; }
    std::u32string_view at(std::size_t index) const&;
    std::u32string_view operator[](std::size_t index) const&& = delete;
    std::u32string_view at(std::size_t index) const&& = delete;
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, _count}; }

    char32_t* data() { return _chars.get(); }
    // Every character of the batch, password after password, with nothing between them.
    std::u32string_view characters() const& { return {_chars.get(), _length * _count}; }
    std::u32string_view characters() const&& = delete;

private:
    // Frees the buffer wiped. It carries the size the buffer was made with, and moves
    // with it: the unique_ptr's assignment frees the buffer it had with that buffer's size.
    struct Wipe {
        std::size_t size;  // value-initialised in an empty batch; an initialiser here would make
                           // GCC take the class for one that cannot be default-constructed
        void operator()(char32_t* chars) const noexcept;
    };

    std::size_t _length = 0;
    std::size_t _count = 0;
    std::unique_ptr<char32_t[], Wipe> _chars;
};

PasswordBatch generate_passwords(const GenerationRequest& request);
PasswordBatch generate_passwords(const GenerationRequest& request, RandomSource& random);

// A request's passwords a batch at a time, so that any number of them takes the memory of
// one batch. Made, it has refused what generate_passwords refuses, with the same draws and
// words; past that check request.count is the caller's, who asks for batches of any size
// for as long as it likes. Every batch draws from one source, so a stream's passwords are
// those of one request of their total count.
class PasswordStream {
public:
    explicit PasswordStream(const GenerationRequest& request);
    // Draws from `random`, which outlives the stream.
    PasswordStream(const GenerationRequest& request, RandomSource& random);
    PasswordStream(const PasswordStream&) = delete;
    PasswordStream& operator=(const PasswordStream&) = delete;

    // The length of every password.
    std::size_t length() const { return _length; }
    // The next `count` passwords.
    PasswordBatch next(std::size_t count);

private:
    PasswordStream(const GenerationRequest& request, std::unique_ptr<SecureRandom> own, RandomSource* random);

    std::unique_ptr<SecureRandom> _own;
    RandomSource* _random;
    PoolMap _pools;
    std::u32string _all_chars;
    std::size_t _length = 0;
};

}  // namespace zelkora
