// The least a process writing a request's passwords to a file has to do: read from the
// operating system the entropy those passwords take, the way the engine reads it, and
// write as many bytes as their text, with nothing drawn or encoded in between. A
// whole-process measurement of zelkora-cli is only as far from the machine's limit as it
// is from this.
//
// Usage: entropy_floor [ENTROPY_BYTES [TEXT_BYTES [READ_SIZE]]] > FILE
// The defaults are those of 100,000 passwords of 16 characters, all kinds: the bytes the
// engine takes for them (strace -e getrandom counts them, 4 KiB a call), their text with
// its line breaks, and the block the engine reads at once.
#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "secure_random.h"

namespace {

// The engine's own read of the system's source, without its draws.
class SystemBytes : public zelkora::SecureRandom {
public:
    using SecureRandom::fill;
};

std::size_t argument(int argc, char** argv, int index, std::size_t fallback) {
    return argc > index ? static_cast<std::size_t>(std::strtoull(argv[index], nullptr, 10)) : fallback;
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t entropy = argument(argc, argv, 1, 423 * std::size_t{4096});
    const std::size_t text = argument(argc, argv, 2, 100'000 * std::size_t{17});
    const std::size_t read_size = std::max<std::size_t>(1, argument(argc, argv, 3, 4096));

    SystemBytes source;
    std::vector<std::byte> bytes(read_size);
    for (std::size_t left = entropy; left > 0;) {
        const std::size_t size = std::min(left, read_size);
        source.fill(bytes.data(), size);
        left -= size;
    }

    // Standard output as the command line writes it, in writes of about its size.
    std::vector<char> chunk(std::size_t{1} << 16, 'x');
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    for (std::size_t left = text; left > 0;) {
        const std::size_t size = std::min(left, chunk.size());
        if (std::fwrite(chunk.data(), 1, size, stdout) != size) {
            std::perror("entropy_floor");
            return 1;
        }
        left -= size;
    }
    return 0;
}
