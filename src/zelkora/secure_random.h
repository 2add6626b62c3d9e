#pragma once
// The engine's randomness: the interface every draw goes through, and the operating
// system's secure source behind it, with exactly uniform draws.

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string_view>
#include <utility>

namespace zelkora {

// Where the engine gets its randomness. Everything it draws goes through these calls,
// so tests can script the draws and check the order and number of them.
class RandomSource {
public:
    virtual ~RandomSource() = default;

    // A value in [0, n), every value equally likely. n must be at least 1.
    virtual std::uint32_t randbelow(std::uint32_t n) = 0;

    // One character of a text, every position equally likely (a character standing
    // twice is twice as likely). The default draws the position with randbelow. An
    // empty text has nothing to draw and is refused with "候補文字が空です".
    virtual char32_t choice(std::u32string_view text);

    // Completes a password of `size` characters whose first `drawn` are drawn already:
    // the others are drawn from `fill`, then all are shuffled, every arrangement equally
    // likely. The default makes the draws one by one: size - drawn calls of choice, then
    // Fisher-Yates from the back, position i swapped with randbelow(i + 1) for i from
    // size - 1 down to 1.
    virtual void fill_and_shuffle(char32_t* chars, std::size_t drawn, std::size_t size, std::u32string_view fill);
};

// The system's random call as read_fully sees it: fills a prefix of out and returns
// its size, or returns -1 and sets errno.
using RandomRead = std::ptrdiff_t (*)(void* out, std::size_t size);

// Fills all of out, calling again after a short read or an interrupted call (EINTR).
// Any other failure, and a call that makes no progress, is thrown as std::system_error:
// a failing source is an error, never fewer or weaker bytes.
void read_fully(RandomRead read, std::byte* out, std::size_t size);

// The operating system's secure source, read in blocks, with exactly uniform draws by
// rejection sampling. Holds secret material in its buffer, so it cannot be copied and
// wipes the buffer when it goes.
class SecureRandom : public RandomSource {
    // Bits taken from the block but not yet drawn, lowest first: a draw costs only the
    // bits it uses, and the rest serve the next draws.
    struct Reservoir {
        std::uint64_t bits = 0;
        unsigned count = 0;
    };

public:
    static constexpr std::size_t BLOCK_SIZE = 4096;

    SecureRandom();
    ~SecureRandom() override;
    SecureRandom(const SecureRandom&) = delete;
    SecureRandom& operator=(const SecureRandom&) = delete;

    std::uint32_t randbelow(std::uint32_t n) final;
    char32_t choice(std::u32string_view text) final;
    void fill_and_shuffle(char32_t* chars, std::size_t drawn, std::size_t size, std::u32string_view fill) final;

    // The same draws for a batch: the session takes the source's unused bits, where the
    // compiler keeps them in registers, and gives back what is left when it ends. While
    // it holds them the source has none, so a draw on the source meanwhile, or a second
    // session, starts from fresh bytes; giving back replaces what the source holds. Bits
    // can be dropped that way, never handed out twice.
    class Session {
    public:
        explicit Session(SecureRandom& source)
            : _source(source), _reservoir(std::exchange(source._reservoir, Reservoir{})) {}
        ~Session() { _source._reservoir = std::exchange(_reservoir, Reservoir{}); }
        Session(const Session&) = delete;
        Session& operator=(const Session&) = delete;

        std::uint32_t randbelow(std::uint32_t n);
        char32_t choice(std::u32string_view text);
        // The same password as RandomSource's, from far fewer draws.
        void fill_and_shuffle(char32_t* chars, std::size_t drawn, std::size_t size, std::u32string_view fill);

    private:
        std::uint64_t take_bits(unsigned count);
        template <typename Bound, typename Keep>
        void draw_together(unsigned count, std::uint64_t product, Bound bound, Keep keep);
        void choices(std::u32string_view text, char32_t* out, std::size_t count);

        SecureRandom& _source;
        Reservoir _reservoir;
    };

    // A draw below n takes `bits` bits per attempt and draws again when the low part
    // of the attempt's product falls below `rejected`.
    struct DrawPlan {
        unsigned bits;
        std::uint64_t rejected;
    };
    static constexpr DrawPlan plan_for(std::uint32_t n);

protected:
    // Refills of fewer bytes than a block; tests pass 1 so that every refill is one
    // byte and the count of refills is the count of bytes the draws consumed.
    explicit SecureRandom(std::size_t block_size);

    // The bytes behind every draw. Tests override it to script a byte stream and drive
    // the rejection deterministically.
    virtual void fill(std::byte* out, std::size_t size);

private:
    Reservoir top_up(Reservoir reservoir, unsigned needed);
    // Eight bytes read at once, and as many of them kept as fit: the same bits, in the
    // same order, as top_up takes them byte by byte. The block holds eight more, and the
    // reservoir fewer bits than a draw takes (47 at most), so two bytes fit at least; the
    // ones that do not are shifted out without a branch.
    Reservoir top_up_word(Reservoir reservoir) {
        const unsigned kept_bits = (64 - reservoir.count) & ~7U;
        std::uint64_t word = 0;
        std::memcpy(&word, _block.data() + _used, sizeof word);
        word = (word << (64 - kept_bits)) >> (64 - kept_bits);
        reservoir.bits |= word << reservoir.count;
        reservoir.count += kept_bits;
        _used += kept_bits / 8;
        return reservoir;
    }
    // plan_for out of line, for bounds without a table entry: the draw stays small
    // enough to be inlined into a batch.
    static DrawPlan plan_beyond_table(std::uint32_t n);
    [[noreturn]] static void refuse_bound();
    [[noreturn]] static void refuse_text(std::u32string_view text);

    // Bytes from the operating system, used front to back, then refilled.
    std::array<std::byte, BLOCK_SIZE> _block{};
    std::size_t _size;
    std::size_t _used;
    Reservoir _reservoir;
};

// Bounds up to here cover the pools, the fill alphabet and the shuffle of the longest
// password the window allows; their plans are a table made at compile time.
inline constexpr std::uint32_t PLANNED_BOUNDS = 1024;

// Any count of bits from the fewest that hold n outcomes gives an exactly uniform draw.
// More bits make retries rarer and cost entropy; a planned bound takes the count of least
// expected cost, a retry priced at 20 bits, what a mispredicted branch costs here.
// Larger bounds (long pasted symbol sets) take four bits more than the fewest. A power of
// two never retries and takes its own bits; one outcome takes none, and so does none
// at all, which no draw gets as far as planning.
constexpr SecureRandom::DrawPlan SecureRandom::plan_for(std::uint32_t n) {
    if (n <= 1) {
        return {0, 0};
    }
    const auto fewest = static_cast<unsigned>(std::bit_width(n - 1));
    if (std::has_single_bit(n)) {
        return {fewest, 0};
    }
    if (n > PLANNED_BOUNDS) {
        const unsigned bits = fewest + 4 < 32 ? fewest + 4 : 32;
        return {bits, (std::uint64_t{1} << bits) % n};
    }
    DrawPlan best{};
    double best_cost = std::numeric_limits<double>::infinity();
    for (unsigned bits = fewest; bits <= fewest + 8 && bits <= 32; ++bits) {
        const std::uint64_t rejected = (std::uint64_t{1} << bits) % n;
        const double share = static_cast<double>(rejected) / static_cast<double>(std::uint64_t{1} << bits);
        const double cost = (bits + 20 * share) / (1 - share);
        if (cost < best_cost) {
            best = {bits, rejected};
            best_cost = cost;
        }
    }
    return best;
}

inline constexpr auto DRAW_PLANS = [] {
    std::array<SecureRandom::DrawPlan, PLANNED_BOUNDS + 1> plans{};
    for (std::uint32_t n = 1; n <= PLANNED_BOUNDS; ++n) {
        plans[n] = SecureRandom::plan_for(n);
    }
    return plans;
}();

inline std::uint32_t SecureRandom::randbelow(std::uint32_t n) {
    return Session(*this).randbelow(n);
}

inline char32_t SecureRandom::choice(std::u32string_view text) {
    return Session(*this).choice(text);
}

inline void SecureRandom::fill_and_shuffle(char32_t* chars, std::size_t drawn, std::size_t size,
                                           std::u32string_view fill) {
    Session(*this).fill_and_shuffle(chars, drawn, size, fill);
}

// An attempt takes L bits x and scales them: x * n / 2^L (Lemire's method). The x that
// land on one value number floor(2^L / n) or one more; the x whose product's low L bits
// fall below 2^L mod n are exactly the surplus ones, and are drawn again, so every value
// keeps floor(2^L / n). With one outcome L is 0 and nothing is drawn.
inline std::uint32_t SecureRandom::Session::randbelow(std::uint32_t n) {
    if (n == 0) {
        refuse_bound();
    }
    const DrawPlan plan = n <= PLANNED_BOUNDS ? DRAW_PLANS[n] : plan_beyond_table(n);
    const std::uint64_t low = (std::uint64_t{1} << plan.bits) - 1;
    std::uint64_t product = take_bits(plan.bits) * n;
    // clang-format 14 takes the attribute for a statement of its own and indents the body.
    // clang-format off
    while ((product & low) < plan.rejected) [[unlikely]] {
        product = take_bits(plan.bits) * n;
    }
    // clang-format on
    return static_cast<std::uint32_t>(product >> plan.bits);
}

// A position is drawn as a 32-bit value; a longer text would take billions of distinct
// code points, so refusing it is enough.
inline char32_t SecureRandom::Session::choice(std::u32string_view text) {
    if (text.empty() || text.size() > std::numeric_limits<std::uint32_t>::max()) {
        refuse_text(text);
    }
    return text[randbelow(static_cast<std::uint32_t>(text.size()))];
}

// Most top-ups find eight bytes left in the block, and one word then brings at least 57
// bits, more than any draw takes: that case stays inline, a refill goes out of line.
inline std::uint64_t SecureRandom::Session::take_bits(unsigned count) {
    if (_reservoir.count < count) [[unlikely]] {
        if (std::endian::native == std::endian::little && _source._size - _source._used >= 8) [[likely]] {
            _reservoir = _source.top_up_word(_reservoir);
        }
        if (_reservoir.count < count) [[unlikely]] {
            _reservoir = _source.top_up(_reservoir, count);
        }
    }
    const std::uint64_t value = _reservoir.bits & ((std::uint64_t{1} << count) - 1);
    _reservoir.bits >>= count;
    _reservoir.count -= count;
    return value;
}

}  // namespace zelkora
