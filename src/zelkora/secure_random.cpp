#include "secure_random.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <system_error>
#include <utility>

#include <sodium.h>
#if defined(__linux__)
#include <sys/random.h>
#endif

#include "errors.h"

namespace zelkora {

namespace {

void ensure_sodium() {
    // sodium_init is idempotent and thread-safe, but calling it once per process is
    // all it needs; a failure is sticky, and every source refuses to exist.
    static const bool ready = sodium_init() >= 0;
    if (!ready) {
        throw std::runtime_error("secure random source unavailable: sodium_init failed");
    }
}

// Bounds drawn together: each at most 2^16 and their product at most 2^43, so that an
// attempt (at most 47 bits) times any of them stays within 64 bits; and at most 16 at a
// time, for the arrays that hold them.
constexpr std::uint32_t TOGETHER_BOUND_MOST = 1U << 16;
constexpr std::uint64_t TOGETHER_PRODUCT_MOST = std::uint64_t{1} << 43;
constexpr unsigned TOGETHER_MOST = 16;

}  // namespace

void RandomSource::fill_and_shuffle(char32_t* chars, std::size_t drawn, std::size_t size, std::u32string_view fill) {
    for (std::size_t i = drawn; i < size; ++i) {
        chars[i] = choice(fill);
    }
    for (std::size_t i = size; i-- > 1;) {
        const std::size_t j = randbelow(static_cast<std::uint32_t>(i + 1));
        std::swap(chars[i], chars[j]);
    }
}

char32_t RandomSource::choice(std::u32string_view text) {
    if (text.empty()) {
        throw ValueError("候補文字が空です");
    }
    if (text.size() > std::numeric_limits<std::uint32_t>::max()) {
        throw std::length_error("choice: text too long to draw a position from");
    }
    return text[randbelow(static_cast<std::uint32_t>(text.size()))];
}

// Values below n_1 .. n_k drawn as one value v below their product p, by the method of
// randbelow: an attempt x of L bits gives x * p = v * 2^L + r and is drawn again when
// r < 2^L mod p, so v is exactly uniform below p, and its digits in the mixed radix
// n_1 .. n_k are exactly uniform and independent, as k single draws would be. They come
// out of the same product one bound at a time: x * n_1 = d_1 * 2^L + r_1, then
// r_1 * n_2 = d_2 * 2^L + r_2, and so on, with r_k = r. L is four bits more than p
// needs, so fewer than one attempt in 16 is drawn again, and the k values cost about
// log2(p) + 4 bits where single draws would take each bound's planned bits.
// bound(i) gives the i-th bound, keep(i, value) takes its value; an attempt drawn again
// has its values kept again, over the earlier ones.
template <typename Bound, typename Keep>
void SecureRandom::Session::draw_together(unsigned count, std::uint64_t product, Bound bound, Keep keep) {
    if (product == 1) {
        for (unsigned i = 0; i < count; ++i) {
            keep(i, 0);
        }
        return;
    }
    const unsigned bits = static_cast<unsigned>(std::bit_width(product - 1)) + 4;
    const std::uint64_t low = (std::uint64_t{1} << bits) - 1;
    for (;;) {
        std::uint64_t rest = take_bits(bits);
        for (unsigned i = 0; i < count; ++i) {
            const std::uint64_t scaled = rest * bound(i);
            keep(i, static_cast<std::uint32_t>(scaled >> bits));
            rest = scaled & low;
        }
        // 2^L mod p is below p: most attempts pass without the division.
        if (rest >= product || rest >= (std::uint64_t{1} << bits) % product) [[likely]] {
            return;
        }
    }
}

void SecureRandom::Session::choices(std::u32string_view text, char32_t* out, std::size_t count) {
    if (text.size() < 2 || text.size() > TOGETHER_BOUND_MOST) {
        // One character costs nothing, an empty text is refused, and a longer one is
        // drawn alone: only bounds up to 2^16 keep the products within 64 bits.
        for (; count > 0; --count) {
            *out++ = choice(text);
        }
        return;
    }
    const auto n = static_cast<std::uint32_t>(text.size());
    unsigned most = 0;
    std::uint64_t most_product = 1;
    for (; most < TOGETHER_MOST && most_product * n <= TOGETHER_PRODUCT_MOST; ++most) {
        most_product *= n;
    }
    const auto same = [n](unsigned) { return n; };
    const auto put = [text, &out](unsigned i, std::uint32_t position) { out[i] = text[position]; };
    for (; count >= most; count -= most, out += most) {
        draw_together(most, most_product, same, put);
    }
    if (count > 0) {
        std::uint64_t product = 1;
        for (std::size_t i = 0; i < count; ++i) {
            product *= n;
        }
        draw_together(static_cast<unsigned>(count), product, same, put);
    }
}

// The same distribution as the default's. The fill characters are independent and
// identically distributed, so their order among themselves after a uniform shuffle is
// worth nothing: all the shuffle decides is where the drawn characters go, an ordered
// choice of distinct places, every one equally likely. That is what the last steps of
// Fisher-Yates "inside out" make, which insert one element after another at a uniform
// place among those before it; its first steps, which only arrange the fill
// characters, are left out. Mirrored, for the drawn characters at the front: from the
// last of them to the first, each swaps with a uniform place from its own to the end.
void SecureRandom::Session::fill_and_shuffle(char32_t* chars, std::size_t drawn, std::size_t size,
                                             std::u32string_view fill) {
    choices(fill, chars + drawn, size - drawn);
    if (size > TOGETHER_BOUND_MOST) {
        for (std::size_t t = drawn; t-- > 0;) {
            std::swap(chars[t], chars[t + randbelow(static_cast<std::uint32_t>(size - t))]);
        }
        return;
    }
    std::array<std::uint32_t, TOGETHER_MOST> offsets;
    for (std::size_t t = drawn; t > 0;) {
        // Places t - 1, t - 2, ... together, with the bounds size - t + 1, size - t + 2, ...
        const auto bound = [&](unsigned i) { return static_cast<std::uint32_t>(size - t + 1 + i); };
        unsigned together = 0;
        std::uint64_t product = 1;
        for (; together < TOGETHER_MOST && together < t && product * bound(together) <= TOGETHER_PRODUCT_MOST;
             ++together) {
            product *= bound(together);
        }
        draw_together(together, product, bound, [&](unsigned i, std::uint32_t offset) { offsets[i] = offset; });
        for (unsigned i = 0; i < together; ++i) {
            std::swap(chars[t - 1 - i], chars[t - 1 - i + offsets[i]]);
        }
        t -= together;
    }
}

SecureRandom::SecureRandom() : SecureRandom(BLOCK_SIZE) {}

// Starts empty: the first draw refills, so a source that draws nothing reads nothing.
SecureRandom::SecureRandom(std::size_t block_size) : _size(block_size), _used(block_size) {
    if (block_size == 0 || block_size > BLOCK_SIZE) {
        throw std::invalid_argument("SecureRandom: block size out of range");
    }
    ensure_sodium();
}

SecureRandom::~SecureRandom() {
    sodium_memzero(_block.data(), _block.size());
    sodium_memzero(&_reservoir, sizeof _reservoir);
}

void SecureRandom::refuse_bound() {
    throw std::invalid_argument("randbelow: n must be at least 1");
}

void SecureRandom::refuse_text(std::u32string_view text) {
    if (text.empty()) {
        throw ValueError("候補文字が空です");
    }
    throw std::length_error("choice: text too long to draw a position from");
}

SecureRandom::DrawPlan SecureRandom::plan_beyond_table(std::uint32_t n) {
    return plan_for(n);
}

void read_fully(RandomRead read, std::byte* out, std::size_t size) {
    while (size > 0) {
        const std::ptrdiff_t got = read(out, size);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0 || static_cast<std::size_t>(got) > size) {
            const int error = got < 0 ? errno : EIO;
            throw std::system_error(error, std::generic_category(), "secure random source failed");
        }
        out += got;
        size -= static_cast<std::size_t>(got);
    }
}

void SecureRandom::fill(std::byte* out, std::size_t size) {
#if defined(__linux__)
    // The kernel's call itself, for the whole block: randombytes_buf splits a request
    // into calls of 256 bytes, a system call for every 256 bytes. Without flags it
    // waits until the kernel's pool is ready rather than deliver weak bytes.
    read_fully([](void* buffer, std::size_t length) -> std::ptrdiff_t { return getrandom(buffer, length, 0); }, out,
               size);
#else
    // On Windows randombytes_buf is one call of the system's generator for any size.
    randombytes_buf(out, size);
#endif
}

// Moves as many whole bytes from the block as fit, so that most draws find their bits
// already there. The block is refilled only when the draw at hand needs more bits than
// are left.
SecureRandom::Reservoir SecureRandom::top_up(Reservoir reservoir, unsigned needed) {
    while (reservoir.count < needed) {
        if (_used == _size) {
            fill(_block.data(), _size);
            _used = 0;
        }
        if constexpr (std::endian::native == std::endian::little) {
            if (_size - _used >= 8) {
                reservoir = top_up_word(reservoir);
                continue;
            }
        }
        for (; reservoir.count <= 56 && _used < _size; reservoir.count += 8) {
            reservoir.bits |= std::to_integer<std::uint64_t>(_block[_used++]) << reservoir.count;
        }
    }
    return reservoir;
}

}  // namespace zelkora
