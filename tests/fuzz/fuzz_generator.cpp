// libFuzzer target: arbitrary bytes become a generation request, and the engine's
// answer is checked against an independent reading of the rules. Either the request is
// refused with exactly the message the rules give first, or the result holds `count`
// passwords of `length` code points, each with a character of every pool after
// filtering and nothing from outside the pools. The strength of the same options is
// held to the same refusals and to figures a uniform choice bounds.
//
// Input layout (missing bytes read as zero):
//   flags  bit 0 exclude_ambiguous, bit 1 symbols given, bits 2-3 length form,
//          bits 4-5 count form
//   length, count  in their form: 0 one signed byte, 1 two bytes, 2 four bytes,
//          3 one byte indexing EDGE_VALUES
//   kinds  a byte n % 8, then n bytes each indexing KIND_NAMES
//   symbols  the rest, one character per tag byte: below 0xC0 the ASCII character
//          tag & 0x7F (U+0000 included), below 0xE0 an ambiguous character, below 0xF0
//          an entry of ODD_CODE_POINTS, else the next four bytes as a raw value
#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "errors.h"
#include "generator.h"
#include "strength.h"

namespace {

// Successful requests are kept this small, so that an input never costs more than a
// few thousand characters of generation.
constexpr long long MAX_CHARACTERS = 4096;

constexpr std::array<int, 12> EDGE_VALUES = {0, 1, -1, 2, 3, 4, 5, INT_MAX, INT_MIN, INT_MAX - 1, 1024, 1000};

const std::array<std::string, 14> KIND_NAMES = {
    "digits",
    "lower",
    "upper",
    "symbols",
    "Digits",
    "LOWER",
    "",
    "hex",
    "symbols ",
    " upper",
    std::string("digits\0", 7),
    "symbol",
    "lower",
    "digits",
};

constexpr std::array<char32_t, 16> ODD_CODE_POINTS = {
    0x0000,  0xD800,  0xDBFF,   0xDC00,   0xDFFF,     0xFFFD,     0xFFFE, 0xFFFF,
    0x10000, 0x1F600, 0x10FFFF, 0x110000, 0x7FFFFFFF, 0xFFFFFFFF, 0x00A0, 0x3000,
};

class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size) : _data(data), _size(size) {}

    bool empty() const { return _at >= _size; }

    std::uint8_t byte() { return _at < _size ? _data[_at++] : 0; }

    std::uint32_t bytes(int n) {
        std::uint32_t value = 0;
        for (int i = 0; i < n; ++i) {
            value |= static_cast<std::uint32_t>(byte()) << (8 * i);
        }
        return value;
    }

    int integer(unsigned form) {
        switch (form) {
            case 0:
                return static_cast<std::int8_t>(byte());
            case 1:
                return static_cast<std::int16_t>(bytes(2));
            case 2:
                return static_cast<std::int32_t>(bytes(4));
            default:
                return EDGE_VALUES[byte() % EDGE_VALUES.size()];
        }
    }

private:
    const std::uint8_t* _data;
    std::size_t _size;
    std::size_t _at = 0;
};

[[noreturn]] void fail(const char* what, const zelkora::GenerationRequest& request) {
    std::fprintf(stderr, "contract broken: %s (length %d, count %d, %zu kinds, exclude %d, symbols %s)\n", what,
                 request.length, request.count, request.kinds.size(), request.exclude_ambiguous ? 1 : 0,
                 request.symbols ? std::to_string(request.symbols->size()).c_str() : "absent");
    std::abort();
}

struct Expected {
    std::string message;                    // empty: the request succeeds
    std::vector<std::set<char32_t>> pools;  // after filtering, on success
};

bool is_kind(const std::string& name) {
    return name == "digits" || name == "lower" || name == "upper" || name == "symbols";
}

std::set<char32_t> range_set(char32_t first, char32_t last) {
    std::set<char32_t> set;
    for (char32_t c = first; c <= last; ++c) {
        set.insert(c);
    }
    return set;
}

// The rules, read independently of the engine: the first failing test decides.
Expected expect(const zelkora::GenerationRequest& request) {
    if (request.length <= 0) {
        return {"length は 1 以上を指定してください", {}};
    }
    if (request.count <= 0) {
        return {"count は 1 以上を指定してください", {}};
    }
    if (request.kinds.empty()) {
        return {"少なくとも1種類を指定してください", {}};
    }
    if (!std::all_of(request.kinds.begin(), request.kinds.end(), is_kind)) {
        return {"kinds が不正です", {}};
    }
    auto asked = [&](const char* name) {
        return std::find(request.kinds.begin(), request.kinds.end(), name) != request.kinds.end();
    };
    std::u32string_view symbols = zelkora::DEFAULT_SYMBOLS;
    if (request.symbols && !request.symbols->empty()) {
        symbols = *request.symbols;
    }
    // Every password is one line: a set drawn from that holds a control character or a
    // line or paragraph separator is refused, with how many different ones and the first two.
    std::vector<char32_t> controls;
    for (const char32_t c : asked("symbols") ? symbols : std::u32string_view()) {
        const bool control = c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
        if (control && std::find(controls.begin(), controls.end(), c) == controls.end())
            controls.push_back(c);
    }
    if (!controls.empty()) {
        std::string named;
        for (std::size_t i = 0; i < std::min<std::size_t>(2, controls.size()); ++i) {
            char code[16];
            std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(controls[i]));
            named += (i > 0 ? "、" : "") + std::string(code);
        }
        return {"記号セットに改行などの制御文字 " + std::to_string(controls.size()) + " 個（" + named +
                    (controls.size() > 2 ? " ほか）" : "）") + "があるため生成できません",
                {}};
    }
    std::vector<std::set<char32_t>> pools;
    if (asked("digits"))
        pools.push_back(range_set(U'0', U'9'));
    if (asked("lower"))
        pools.push_back(range_set(U'a', U'z'));
    if (asked("upper"))
        pools.push_back(range_set(U'A', U'Z'));
    if (asked("symbols"))
        pools.emplace_back(symbols.begin(), symbols.end());
    if (request.exclude_ambiguous) {
        for (auto& pool : pools) {
            for (const char32_t c : zelkora::AMBIGUOUS_CHARS) {
                pool.erase(c);
            }
            if (pool.empty()) {
                return {"候補文字が空です", {}};
            }
        }
    }
    if (static_cast<std::size_t>(request.length) < pools.size()) {
        return {"長さが短すぎます", {}};
    }
    return {"", pools};
}

zelkora::GenerationRequest decode(Reader& in) {
    zelkora::GenerationRequest request;
    const std::uint8_t flags = in.byte();
    request.exclude_ambiguous = (flags & 1) != 0;
    request.length = in.integer((flags >> 2) & 3);
    request.count = in.integer((flags >> 4) & 3);
    const int kinds = in.byte() % 8;
    for (int i = 0; i < kinds; ++i) {
        request.kinds.push_back(KIND_NAMES[in.byte() % KIND_NAMES.size()]);
    }
    if (flags & 2) {
        std::u32string symbols;
        while (!in.empty()) {
            const std::uint8_t tag = in.byte();
            if (tag < 0xC0) {
                symbols.push_back(tag & 0x7F);
            } else if (tag < 0xE0) {
                symbols.push_back(zelkora::AMBIGUOUS_CHARS[tag % zelkora::AMBIGUOUS_CHARS.size()]);
            } else if (tag < 0xF0) {
                symbols.push_back(ODD_CODE_POINTS[tag % ODD_CODE_POINTS.size()]);
            } else {
                symbols.push_back(in.bytes(4));
            }
        }
        request.symbols = std::move(symbols);
    }
    return request;
}

// A request the rules accept is shrunk to a small one; a refused request keeps its
// extreme values, since it must be refused before anything is made.
void keep_small(zelkora::GenerationRequest& request) {
    if (request.length <= 0 || request.count <= 0 || !expect(request).message.empty()) {
        return;
    }
    request.length = 1 + (request.length - 1) % 1024;
    const long long most = std::max<long long>(1, MAX_CHARACTERS / request.length);
    request.count = static_cast<int>(1 + (request.count - 1) % most);
}

// The strength line refuses what generation refuses, the count aside, and otherwise gives
// figures that are finite and ordered, and no more than a uniform choice among the
// characters on offer would give.
void check_strength(const zelkora::GenerationRequest& request) {
    if (request.length > 100000) {
        return;  // costly to work out, and no form asks for it
    }
    zelkora::GenerationRequest one = request;
    one.count = 1;
    const Expected expected = expect(one);
    zelkora::PasswordStrength strength;
    try {
        strength = zelkora::password_strength(request);
    } catch (const zelkora::ValueError& e) {
        if (expected.message != e.what()) {
            fail("strength: wrong refusal", request);
        }
        return;
    }
    if (!expected.message.empty()) {
        fail("strength: accepted a request that must be refused", request);
    }
    std::set<char32_t> offered;
    for (const auto& pool : expected.pools) {
        offered.insert(pool.begin(), pool.end());
    }
    const double uniform = request.length * std::log2(static_cast<double>(offered.size()));
    const double h = strength.shannon_bits;
    const double m = strength.min_entropy_bits;
    if (!std::isfinite(h) || !std::isfinite(m) || m < 0 || m > h + 1e-6 || h > uniform + 1e-6) {
        fail("strength: figures out of order", request);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Reader in(data, size);
    zelkora::GenerationRequest request = decode(in);
    keep_small(request);
    const Expected expected = expect(request);
    check_strength(request);

    zelkora::PasswordBatch passwords;
    try {
        passwords = zelkora::generate_passwords(request);
    } catch (const zelkora::ValueError& e) {
        if (expected.message.empty()) {
            fail("refused a valid request", request);
        }
        if (expected.message != e.what()) {
            fail("wrong refusal message", request);
        }
        return 0;
    }
    if (!expected.message.empty()) {
        fail("accepted a request that must be refused", request);
    }
    if (passwords.size() != static_cast<std::size_t>(request.count)) {
        fail("wrong number of passwords", request);
    }
    std::set<char32_t> allowed;
    for (const auto& pool : expected.pools) {
        allowed.insert(pool.begin(), pool.end());
    }
    for (const auto& password : passwords) {
        if (password.size() != static_cast<std::size_t>(request.length)) {
            fail("wrong length", request);
        }
        for (const char32_t c : password) {
            if (allowed.count(c) == 0) {
                fail("character from outside the pools", request);
            }
        }
        for (const auto& pool : expected.pools) {
            if (std::none_of(password.begin(), password.end(), [&](char32_t c) { return pool.count(c) > 0; })) {
                fail("a pool missing from a password", request);
            }
        }
    }
    return 0;
}
