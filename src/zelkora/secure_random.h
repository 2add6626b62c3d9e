#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace zelkora {

// Where the engine gets its randomness. Everything it draws goes through these two
// calls, so tests can script the draws and check the order and number of them.
class RandomSource {
public:
    virtual ~RandomSource() = default;

    // A value in [0, n), every value equally likely. n must be at least 1.
    virtual std::uint32_t randbelow(std::uint32_t n) = 0;

    // One character of a non-empty text, every position equally likely.
    char32_t choice(std::u32string_view text);
};

// The operating system's secure source, read in blocks, with exactly uniform draws by
// rejection sampling. Holds secret material in its buffer, so it cannot be copied and
// wipes the buffer when it goes.
class SecureRandom : public RandomSource {
public:
    SecureRandom();
    ~SecureRandom() override;
    SecureRandom(const SecureRandom&) = delete;
    SecureRandom& operator=(const SecureRandom&) = delete;

    std::uint32_t randbelow(std::uint32_t n) override;

protected:
    // The bytes of entropy behind every draw. Tests override it to script a byte
    // stream and drive the rejection path deterministically.
    virtual void fill(std::byte* out, std::size_t size);

private:
    std::byte next_byte();

    static constexpr std::size_t BLOCK_SIZE = 4096;
    std::array<std::byte, BLOCK_SIZE> _block{};
    std::size_t _used = BLOCK_SIZE;
};

}  // namespace zelkora
