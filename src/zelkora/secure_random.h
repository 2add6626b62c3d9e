#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>

namespace zelkora {

// Where the engine gets its randomness. Everything it draws goes through these two
// calls, so tests can script the draws and check the order and number of them.
class RandomSource {
public:
    virtual ~RandomSource() = default;

    // A value in [0, n), every value equally likely. n must be at least 1.
    virtual std::uint32_t randbelow(std::uint32_t n) = 0;

    // One character of a text, every position equally likely (a character standing
    // twice is twice as likely). The default draws the position with randbelow. An
    // empty text has nothing to draw and is refused with "候補文字が空です".
    virtual char32_t choice(std::u32string_view text);
};

// The operating system's secure source, read in blocks, with exactly uniform draws by
// rejection sampling. Holds secret material in its buffer, so it cannot be copied and
// wipes the buffer when it goes.
class SecureRandom : public RandomSource {
    // Bits taken from the block but not yet drawn, lowest first: a draw costs only the
    // bits it uses, and the rest serves the next draws. Passed by value, so that a
    // session's own copy never has its address taken.
    struct Reservoir {
        std::uint64_t bits = 0;
        unsigned count = 0;
    };

public:
    SecureRandom();
    ~SecureRandom() override;
    SecureRandom(const SecureRandom&) = delete;
    SecureRandom& operator=(const SecureRandom&) = delete;

    std::uint32_t randbelow(std::uint32_t n) final;
    char32_t choice(std::u32string_view text) final;

    // The same draws, for a stretch of many: the bits not yet drawn stay in locals
    // (registers) rather than going back to the source after every draw, and the source
    // is brought up to date when the session ends. A batch draws through one; the draws
    // are defined here so that they inline into it. Use one session at a time, and no
    // direct draws on the source while it lasts.
    class Session {
    public:
        explicit Session(SecureRandom& source) : _source(source), _reservoir(source._reservoir) {}
        ~Session() { _source._reservoir = _reservoir; }
        Session(const Session&) = delete;
        Session& operator=(const Session&) = delete;

        std::uint32_t randbelow(std::uint32_t n);
        char32_t choice(std::u32string_view text);

    private:
        std::uint32_t draw_below(std::uint32_t n);
        std::uint64_t take_bits(unsigned count);

        SecureRandom& _source;
        Reservoir _reservoir;
    };

    static constexpr std::size_t BLOCK_SIZE = 4096;

    // How a draw below n is made: `bits` per attempt, and attempts whose low product
    // falls below `rejected` (= 2^bits mod n) are drawn again.
    struct DrawPlan {
        unsigned bits;
        std::uint64_t rejected;
    };
    static constexpr DrawPlan plan_for(std::uint32_t n);

protected:
    // Refills of fewer bytes than a block; tests pass 1 so that every refill is one
    // byte and the count of refills is the count of bytes the draws consumed.
    explicit SecureRandom(std::size_t block_size);

    // The bytes of entropy behind every draw. Tests override it to script a byte
    // stream and drive the rejection path deterministically.
    virtual void fill(std::byte* out, std::size_t size);

private:
    Reservoir top_up(Reservoir reservoir, unsigned needed);
    std::uint32_t draw_wide(std::uint32_t n, Reservoir& reservoir);
    [[noreturn]] static void refuse_bound();
    [[noreturn]] static void refuse_text(std::u32string_view text);

    // Bytes from the operating system, used front to back, then refilled.
    std::array<std::byte, BLOCK_SIZE> _block{};
    std::size_t _limit = BLOCK_SIZE;
    std::size_t _used = BLOCK_SIZE;
    Reservoir _reservoir;
};

namespace secure_random_detail {

// What a retry costs, in bits of entropy: a mispredicted branch on this hardware takes
// about as long as reading two to three bytes from the operating system.
inline constexpr double RETRY_COST_BITS = 20.0;

// Bounds up to this size are the common ones (pools, the fill alphabet, the shuffle of
// a password as long as the window allows); their plans are worked out at compile time.
inline constexpr std::uint32_t PLANNED_BOUNDS = 1024;

}  // namespace secure_random_detail

// Any number of bits from the fewest that hold n outcomes up to 32 gives an exactly
// uniform draw; they differ in cost. The fewest bits can mean many retries (a third of
// the attempts for n = 87), a few more make retries rare. For each planned bound the
// cheapest count is taken, a retry counted as RETRY_COST_BITS; beyond them, four bits
// more than the fewest keep retries below one attempt in sixteen.
constexpr SecureRandom::DrawPlan SecureRandom::plan_for(std::uint32_t n) {
    const auto fewest = static_cast<unsigned>(std::bit_width(n - 1));
    if (n > secure_random_detail::PLANNED_BOUNDS) {
        const unsigned bits = fewest + 4 < 32 ? fewest + 4 : 32;
        return {bits, (std::uint64_t{1} << bits) % n};
    }
    DrawPlan best{fewest, (std::uint64_t{1} << fewest) % n};
    double best_cost = -1;
    for (unsigned bits = fewest; bits <= 32 && bits <= fewest + 8; ++bits) {
        const std::uint64_t range = std::uint64_t{1} << bits;
        const std::uint64_t rejected = range % n;
        const double share = static_cast<double>(rejected) / static_cast<double>(range);
        const double cost = (bits + secure_random_detail::RETRY_COST_BITS * share) / (1 - share);
        if (best_cost < 0 || cost < best_cost) {
            best = {bits, rejected};
            best_cost = cost;
        }
    }
    return best;
}

namespace secure_random_detail {

struct PackedPlan {
    std::uint8_t bits;
    std::uint16_t rejected;
};

inline constexpr auto PLANS = [] {
    std::array<PackedPlan, PLANNED_BOUNDS + 1> table{};
    for (std::uint32_t n = 1; n <= PLANNED_BOUNDS; ++n) {
        const auto plan = SecureRandom::plan_for(n);
        table[n] = {static_cast<std::uint8_t>(plan.bits), static_cast<std::uint16_t>(plan.rejected)};
    }
    return table;
}();

}  // namespace secure_random_detail

inline std::uint32_t SecureRandom::randbelow(std::uint32_t n) {
    return Session(*this).randbelow(n);
}

inline char32_t SecureRandom::choice(std::u32string_view text) {
    return Session(*this).choice(text);
}

inline std::uint32_t SecureRandom::Session::randbelow(std::uint32_t n) {
    if (n == 0) {
        refuse_bound();
    }
    return draw_below(n);
}

inline char32_t SecureRandom::Session::choice(std::u32string_view text) {
    if (text.empty() || text.size() > std::numeric_limits<std::uint32_t>::max()) {
        refuse_text(text);
    }
    return text[draw_below(static_cast<std::uint32_t>(text.size()))];
}

// Exactly uniform in [0, n). An attempt takes L bits x and scales them as x * n / 2^L
// (Lemire's method). Of the 2^L values of x, the 2^L mod n whose low product falls
// below that remainder would make some results one more likely than others; they are
// rejected and drawn again.
inline std::uint32_t SecureRandom::Session::draw_below(std::uint32_t n) {
    if (n == 1) {
        return 0;  // one outcome: nothing to draw, no entropy spent
    }
    if (n > secure_random_detail::PLANNED_BOUNDS) [[unlikely]] {
        // Out of line, on a copy: the session's own reservoir stays in registers.
        Reservoir reservoir = _reservoir;
        const std::uint32_t value = _source.draw_wide(n, reservoir);
        _reservoir = reservoir;
        return value;
    }
    const auto plan = secure_random_detail::PLANS[n];
    const std::uint64_t mask = (std::uint64_t{1} << plan.bits) - 1;
    std::uint64_t product = take_bits(plan.bits) * n;
    while ((product & mask) < plan.rejected) [[unlikely]] {
        product = take_bits(plan.bits) * n;
    }
    return static_cast<std::uint32_t>(product >> plan.bits);
}

inline std::uint64_t SecureRandom::Session::take_bits(unsigned count) {
    if (_reservoir.count < count) [[unlikely]] {
        _reservoir = _source.top_up(_reservoir, count);
    }
    const std::uint64_t value = _reservoir.bits & ((std::uint64_t{1} << count) - 1);
    _reservoir.bits >>= count;
    _reservoir.count -= count;
    return value;
}

}  // namespace zelkora
