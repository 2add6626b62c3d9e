#include "secure_random.h"

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

void SecureRandom::fill(std::byte* out, std::size_t size) {
    randombytes_buf(out, size);
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
        for (; reservoir.count <= 56 && _used < _size; reservoir.count += 8) {
            reservoir.bits |= std::to_integer<std::uint64_t>(_block[_used++]) << reservoir.count;
        }
    }
    return reservoir;
}

}  // namespace zelkora
