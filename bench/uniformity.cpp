// Chi-square goodness of fit of SecureRandom's draws against their exact
// distributions, over tens of millions of draws. A program to run and read, not a
// test: under a sound source the p-values spread evenly over (0, 1), and a single run
// proves nothing by one low value; values below about 1e-4, or several low ones
// together, call for a closer look.
//
// Usage: uniformity [draws per row] (default 100,000,000; about half a minute here)
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "generator.h"
#include "secure_random.h"

namespace {

// Q(a, x) = Γ(a, x) / Γ(a), the regularized upper incomplete gamma function: the
// series for P = 1 - Q below x = a + 1, where it converges fast and Q is not small,
// and Lentz's continued fraction for Q above, where it converges fast and keeps Q's
// relative precision however small Q gets.
long double upper_gamma_q(long double a, long double x) {
    if (x <= 0) {
        return 1;
    }
    const long double log_prefix = a * std::log(x) - x - std::lgamma(a);
    constexpr long double epsilon = 1e-18L;
    if (x < a + 1) {
        long double term = 1 / a;
        long double sum = term;
        for (int n = 1; n < 100000; ++n) {
            term *= x / (a + n);
            sum += term;
            if (std::fabs(term) < std::fabs(sum) * epsilon) {
                break;
            }
        }
        return 1 - sum * std::exp(log_prefix);
    }
    constexpr long double tiny = 1e-4000L;
    long double b = x + 1 - a;
    long double c = 1 / tiny;
    long double d = 1 / b;
    long double h = d;
    for (int i = 1; i < 100000; ++i) {
        const long double an = -i * (i - a);
        b += 2;
        d = an * d + b;
        if (std::fabs(d) < tiny)
            d = tiny;
        c = b + an / c;
        if (std::fabs(c) < tiny)
            c = tiny;
        d = 1 / d;
        const long double delta = d * c;
        h *= delta;
        if (std::fabs(delta - 1) < epsilon) {
            break;
        }
    }
    return std::exp(log_prefix) * h;
}

struct Row {
    std::string name;
    std::uint64_t draws;
    std::vector<double> observed;
    std::vector<double> probability;  // exact, sums to 1
};

void print(const Row& row) {
    double chi_square = 0;
    for (std::size_t i = 0; i < row.observed.size(); ++i) {
        const double expected = static_cast<double>(row.draws) * row.probability[i];
        chi_square += (row.observed[i] - expected) * (row.observed[i] - expected) / expected;
    }
    const std::size_t df = row.observed.size() - 1;
    const long double p = upper_gamma_q(df / 2.0L, chi_square / 2.0L);
    std::printf("| %-44s | %11llu | %5zu | %4zu | %10.2f | %8.4Lf |\n", row.name.c_str(),
                static_cast<unsigned long long>(row.draws), row.observed.size(), df, chi_square, p);
    std::fflush(stdout);
}

Row equal_cells(std::string name, std::uint64_t draws, std::uint32_t n) {
    Row row{std::move(name), draws, std::vector<double>(n), std::vector<double>(n, 1.0 / n)};
    zelkora::SecureRandom random;
    for (std::uint64_t i = 0; i < draws; ++i) {
        ++row.observed[random.randbelow(n)];
    }
    return row;
}

// n = 2^31 + 1 has too many values for one cell each; two derived statistics with
// exactly known distributions instead, from the same draws. The high one puts v in
// bucket floor(v * 1000 / n): bucket b holds the integers in [b n / 1000, (b+1) n / 1000),
// ceil((b+1) n / 1000) - ceil(b n / 1000) of them. The low one takes v mod 256: of the
// values 0 .. 2^31, residue 0 has 2^23 + 1 and every other residue 2^23.
std::array<Row, 2> wide_bound(std::uint64_t draws) {
    constexpr std::uint64_t n = (std::uint64_t{1} << 31) + 1;
    constexpr std::uint64_t buckets = 1000;
    Row high{"randbelow(2^31+1), 1000 buckets of v*1000/n", draws, std::vector<double>(buckets),
             std::vector<double>(buckets)};
    Row low{"randbelow(2^31+1), v mod 256 (same draws)", draws, std::vector<double>(256), std::vector<double>(256)};
    auto ceil_div = [](std::uint64_t a, std::uint64_t b) { return (a + b - 1) / b; };
    for (std::uint64_t b = 0; b < buckets; ++b) {
        const std::uint64_t size = ceil_div((b + 1) * n, buckets) - ceil_div(b * n, buckets);
        high.probability[b] = static_cast<double>(size) / static_cast<double>(n);
    }
    for (std::uint64_t r = 0; r < 256; ++r) {
        low.probability[r] = static_cast<double>((std::uint64_t{1} << 23) + (r == 0 ? 1 : 0)) / static_cast<double>(n);
    }
    zelkora::SecureRandom random;
    for (std::uint64_t i = 0; i < draws; ++i) {
        const std::uint64_t v = random.randbelow(static_cast<std::uint32_t>(n));
        ++high.observed[v * buckets / n];
        ++low.observed[v % 256];
    }
    return {high, low};
}

// The fill alphabet of "lower" with the symbol set "aa": the symbols pool is "a", so
// "a" stands twice among 27 characters.
Row repeated_character(std::uint64_t draws) {
    const zelkora::PoolMap pools = zelkora::build_pool({"lower", "symbols"}, U"aa");
    std::u32string all_chars;
    for (const auto& entry : pools) {
        all_chars += entry.second;
    }
    Row row{"choice over lower + symbols \"aa\" (27 chars)", draws, std::vector<double>(26), std::vector<double>(26)};
    for (std::size_t i = 0; i < 26; ++i) {
        row.probability[i] = (i == 0 ? 2.0 : 1.0) / static_cast<double>(all_chars.size());
    }
    zelkora::SecureRandom random;
    for (std::uint64_t i = 0; i < draws; ++i) {
        ++row.observed[random.choice(all_chars) - U'a'];
    }
    return row;
}

// Whole passwords of length 4 with all four kinds hold one character of each kind;
// the shuffle must put the kinds in each of the 24 orders equally often.
Row arrangements(std::uint64_t passwords) {
    Row row{"kind order in length-4 passwords (24 orders)", 0, std::vector<double>(24),
            std::vector<double>(24, 1.0 / 24)};
    auto kind_of = [](char32_t c) {
        return c >= U'0' && c <= U'9' ? 0 : c >= U'a' && c <= U'z' ? 1 : c >= U'A' && c <= U'Z' ? 2 : 3;
    };
    const zelkora::GenerationRequest request{.length = 4,
                                             .kinds = {"digits", "lower", "upper", "symbols"},
                                             .count = 100'000,
                                             .exclude_ambiguous = false,
                                             .symbols = std::nullopt};
    while (row.draws < passwords) {
        for (const auto& password : zelkora::generate_passwords(request)) {
            std::array<int, 4> order{};
            for (int i = 0; i < 4; ++i) {
                order[i] = kind_of(password[i]);
            }
            // Lehmer code of the permutation: a number in [0, 24).
            int code = 0;
            for (int i = 0; i < 4; ++i) {
                int smaller_after = 0;
                for (int j = i + 1; j < 4; ++j) {
                    smaller_after += order[j] < order[i] ? 1 : 0;
                }
                code = code * (4 - i) + smaller_after;
            }
            ++row.observed[code];
            ++row.draws;
        }
    }
    return row;
}

// Whole passwords of length 3 from the digits and the symbol set "!": 330 of them, each
// with its exact chance, worked out by following the generator's draws one by one (a
// guaranteed digit, the "!", one fill character, then Fisher-Yates from the back) down
// all 660 equally likely paths.
Row whole_passwords(std::uint64_t passwords) {
    const std::u32string all_chars = U"0123456789!";
    std::map<std::u32string, double> chance;
    for (char32_t digit = U'0'; digit <= U'9'; ++digit) {
        for (const char32_t fill : all_chars) {
            for (std::size_t j2 = 0; j2 < 3; ++j2) {
                for (std::size_t j1 = 0; j1 < 2; ++j1) {
                    std::u32string password{digit, U'!', fill};
                    std::swap(password[2], password[j2]);
                    std::swap(password[1], password[j1]);
                    chance[password] += 1.0 / 660;
                }
            }
        }
    }
    Row row{"whole passwords, length 3, digits + \"!\"", 0, std::vector<double>(chance.size()), {}};
    std::map<std::u32string, std::size_t> cell;
    for (const auto& [password, p] : chance) {
        cell.emplace(password, row.probability.size());
        row.probability.push_back(p);
    }
    const zelkora::GenerationRequest request{
        .length = 3, .kinds = {"digits", "symbols"}, .count = 100'000, .exclude_ambiguous = false, .symbols = U"!"};
    while (row.draws < passwords) {
        for (const auto& password : zelkora::generate_passwords(request)) {
            ++row.observed[cell.at(std::u32string(password))];
            ++row.draws;
        }
    }
    return row;
}

// Passwords of digits only are uniform over all digit strings. Their first three
// characters come from one draw of several values together, so a fault in taking a
// draw apart into its values shows in how they occur together.
Row digit_triples(std::uint64_t passwords) {
    Row row{"first 3 digits of length-16 digit passwords", 0, std::vector<double>(1000),
            std::vector<double>(1000, 1e-3)};
    const zelkora::GenerationRequest request{
        .length = 16, .kinds = {"digits"}, .count = 100'000, .exclude_ambiguous = false, .symbols = std::nullopt};
    while (row.draws < passwords) {
        for (const auto& password : zelkora::generate_passwords(request)) {
            ++row.observed[100 * (password[0] - U'0') + 10 * (password[1] - U'0') + (password[2] - U'0')];
            ++row.draws;
        }
    }
    return row;
}

}  // namespace

int main(int argc, char** argv) {
    const std::uint64_t draws = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 100'000'000;
    std::printf("| %-44s | %11s | %5s | %4s | %10s | %8s |\n", "draws from", "draws", "cells", "df", "chi-square",
                "p-value");
    std::printf("|%s|%s|%s|%s|%s|%s|\n", std::string(46, '-').c_str(), std::string(13, '-').c_str(),
                std::string(7, '-').c_str(), std::string(6, '-').c_str(), std::string(12, '-').c_str(),
                std::string(10, '-').c_str());
    for (const std::uint32_t n : {3U, 87U, 255U, 257U, 1000U}) {
        print(equal_cells("randbelow(" + std::to_string(n) + ")", draws, n));
    }
    for (const auto& row : wide_bound(draws)) {
        print(row);
    }
    print(repeated_character(draws));
    print(arrangements(draws / 10));
    print(whole_passwords(draws / 10));
    print(digit_triples(draws / 10));
    return 0;
}
