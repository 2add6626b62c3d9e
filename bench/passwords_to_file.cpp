// One whole request as a process, the way a command-line tool makes passwords: all four
// kinds, written as UTF-8 lines to a file. Made to be run side by side with hyperfine,
// so that start-up, the system calls and the page faults count, not only the draws.
//
// Usage: passwords_to_file OUT [LENGTH [COUNT]]   (default 16 and 100,000)
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "generator.h"
#include "utf8.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUT [LENGTH [COUNT]]\n", argv[0]);
        return 2;
    }
    const zelkora::GenerationRequest request{
        .length = argc > 2 ? std::atoi(argv[2]) : 16,
        .kinds = {"digits", "lower", "upper", "symbols"},
        .count = argc > 3 ? std::atoi(argv[3]) : 100'000,
        .exclude_ambiguous = false,
        .symbols = std::nullopt,
    };
    const auto passwords = zelkora::generate_passwords(request);

    std::FILE* out = std::fopen(argv[1], "wb");
    if (!out) {
        std::perror(argv[1]);
        return 1;
    }
    // Written in chunks: four bytes at most per character, and a line break.
    const std::size_t line_most = 4 * static_cast<std::size_t>(request.length) + 1;
    std::string chunk(std::max<std::size_t>(line_most, 1 << 16), '\0');
    char* end = chunk.data();
    bool written = true;
    for (const auto& password : passwords) {
        if (static_cast<std::size_t>(chunk.data() + chunk.size() - end) < line_most) {
            written = written && std::fwrite(chunk.data(), 1, end - chunk.data(), out) ==
                                     static_cast<std::size_t>(end - chunk.data());
            end = chunk.data();
        }
        for (const char32_t c : password) {
            end = zelkora::put_utf8(end, c);
        }
        *end++ = '\n';
    }
    written = written &&
              std::fwrite(chunk.data(), 1, end - chunk.data(), out) == static_cast<std::size_t>(end - chunk.data());
    if (std::fclose(out) != 0 || !written) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
