#include "secure_random.h"

#include <array>
#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <stdexcept>

#include <sodium.h>

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

}  // namespace

char32_t RandomSource::choice(std::u32string_view text) {
    if (text.empty()) {
        throw ValueError("候補文字が空です");
    }
    if (text.size() > std::numeric_limits<std::uint32_t>::max()) {
        throw std::length_error("choice: text too long to draw a position from");
    }
    return text[randbelow(static_cast<std::uint32_t>(text.size()))];
}

SecureRandom::SecureRandom() : SecureRandom(BLOCK_SIZE) {}

SecureRandom::SecureRandom(std::size_t block_size) {
    if (block_size == 0 || block_size > BLOCK_SIZE) {
        throw std::invalid_argument("SecureRandom: block size out of range");
    }
    ensure_sodium();
    _limit = block_size;
    _used = block_size;  // empty: the first draw refills, so an unused source costs no entropy
}

SecureRandom::~SecureRandom() {
    sodium_memzero(_block.data(), _block.size());
    sodium_memzero(&_reservoir, sizeof _reservoir);
}

void SecureRandom::refuse_bound() {
    throw std::invalid_argument("randbelow: n must be at least 1");
}

// A position is drawn as a 32-bit value; a text longer than that cannot be drawn from
// uniformly here. Reaching it would take a symbol set of billions of distinct code
// points, so refusing is enough.
void SecureRandom::refuse_text(std::u32string_view text) {
    if (text.empty()) {
        throw ValueError("候補文字が空です");
    }
    throw std::length_error("choice: text too long to draw a position from");
}

// A draw for a bound without a plan: Lemire's method as for the planned ones, with the
// remainder worked out by division, and only when the low product falls below n,
// which it does for fewer than one attempt in sixteen.
std::uint32_t SecureRandom::draw_wide(std::uint32_t n, Reservoir& reservoir) {
    const unsigned bits = plan_for(n).bits;
    const std::uint64_t mask = (std::uint64_t{1} << bits) - 1;
    auto attempt = [&] {
        if (reservoir.count < bits) {
            reservoir = top_up(reservoir, bits);
        }
        const std::uint64_t x = reservoir.bits & mask;
        reservoir.bits >>= bits;
        reservoir.count -= bits;
        return x * n;
    };
    std::uint64_t product = attempt();
    if ((product & mask) < n) {
        const std::uint64_t rejected = (mask + 1) % n;
        while ((product & mask) < rejected) {
            product = attempt();
        }
    }
    return static_cast<std::uint32_t>(product >> bits);
}

void SecureRandom::fill(std::byte* out, std::size_t size) {
    randombytes_buf(out, size);
}

// Moves whole bytes from the block into the free part of the reservoir, as many as fit
// and the block holds, so that most draws find their bits there. The block is refilled
// only when the draw at hand needs more bits than are left.
SecureRandom::Reservoir SecureRandom::top_up(Reservoir reservoir, unsigned needed) {
    while (reservoir.count < needed) {
        if (_used == _limit) {
            fill(_block.data(), _limit);
            _used = 0;
        }
        const std::size_t bytes = std::min<std::size_t>((64 - reservoir.count) / 8, _limit - _used);
        std::uint64_t incoming = 0;
        if (std::endian::native == std::endian::little && _limit - _used >= 8) {
            // One load for the lot; the bytes that do not fit stay in the block.
            std::memcpy(&incoming, _block.data() + _used, 8);
            if (bytes < 8) {
                incoming &= (std::uint64_t{1} << (8 * bytes)) - 1;
            }
        } else {
            for (std::size_t i = 0; i < bytes; ++i) {
                incoming |= std::to_integer<std::uint64_t>(_block[_used + i]) << (8 * i);
            }
        }
        reservoir.bits |= incoming << reservoir.count;
        reservoir.count += static_cast<unsigned>(8 * bytes);
        _used += bytes;
    }
    return reservoir;
}

}  // namespace zelkora
