#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <map>
#include <numeric>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include <QtTest>

#include "errors.h"
#include "generator.h"
#include "secure_random.h"

using zelkora::GenerationRequest;
using zelkora::PoolMap;
using Kinds = std::vector<std::string>;

Q_DECLARE_METATYPE(PoolMap)
Q_DECLARE_METATYPE(Kinds)
Q_DECLARE_METATYPE(GenerationRequest)
Q_DECLARE_METATYPE(std::u32string)

namespace {

const std::u32string DIGITS = U"0123456789";
const std::u32string LOWER = U"abcdefghijklmnopqrstuvwxyz";
const std::u32string UPPER = U"ABCDEFGHIJKLMNOPQRSTUVWXYZ";
const std::u32string DEFAULTS = U"!@#$%^&*()-_=+[]{};:,.?/\\";
const Kinds ALL_KINDS = {"digits", "lower", "upper", "symbols"};

QString show(std::u32string_view text) {
    QString out;
    for (const char32_t c : text) {
        out += c >= 0x20 && c < 0x7F ? QString(QChar(static_cast<char16_t>(c)))
                                     : QStringLiteral("\\u{%1}").arg(static_cast<uint>(c), 0, 16);
    }
    return out;
}

// The engine's message, or an empty text when nothing was refused. Anything other
// than a ValueError escapes and fails the test.
template <typename F>
QString refusal(F&& call) {
    try {
        call();
    } catch (const zelkora::ValueError& e) {
        return QString::fromUtf8(e.what());
    }
    return {};
}

// Answers every draw from a script and logs it, so the order and bounds of the draws
// can be checked. Running out of script is a test failure, not a refusal.
class ScriptedSource : public zelkora::RandomSource {
public:
    explicit ScriptedSource(QList<uint> answers = {}) : _answers(std::move(answers)) {}

    std::uint32_t randbelow(std::uint32_t n) override {
        log << QStringLiteral("randbelow %1").arg(n);
        return next(n);
    }
    char32_t choice(std::u32string_view text) override {
        log << QStringLiteral("choice %1").arg(show(text));
        return text[next(text.size())];
    }

    QStringList log;

private:
    std::uint32_t next(std::size_t bound) {
        if (_answers.isEmpty()) {
            throw std::logic_error("draw beyond the script");
        }
        const uint answer = _answers.takeFirst();
        if (answer >= bound) {
            throw std::logic_error("scripted answer out of range");
        }
        return answer;
    }
    QList<uint> _answers;
};

struct ScriptExhausted {};

// The real SecureRandom drawing from a scripted byte stream, by default one byte per
// refill, so that `consumed` counts exactly the bytes its draws took.
class ScriptedBytes : public zelkora::SecureRandom {
public:
    explicit ScriptedBytes(std::vector<std::uint8_t> bytes, std::size_t block = 1)
        : SecureRandom(block), _bytes(std::move(bytes)) {}
    std::size_t consumed = 0;

protected:
    void fill(std::byte* out, std::size_t size) override {
        if (_bytes.size() - consumed < size) {
            throw ScriptExhausted{};
        }
        for (std::size_t i = 0; i < size; ++i) {
            out[i] = std::byte{_bytes[consumed++]};
        }
    }

private:
    std::vector<std::uint8_t> _bytes;
};

// Chunks of `bits` bits each, lowest bit first, as the source takes them.
std::vector<std::uint8_t> pack(const std::vector<std::uint64_t>& chunks, unsigned bits) {
    std::vector<std::uint8_t> bytes((chunks.size() * bits + 7) / 8);
    std::size_t at = 0;
    for (const std::uint64_t chunk : chunks) {
        for (unsigned b = 0; b < bits; ++b, ++at) {
            bytes[at / 8] |= static_cast<std::uint8_t>(((chunk >> b) & 1U) << (at % 8));
        }
    }
    return bytes;
}

GenerationRequest req(int length, Kinds kinds, int count, bool exclude = false,
                      std::optional<std::u32string> symbols = std::nullopt) {
    return {.length = length,
            .kinds = std::move(kinds),
            .count = count,
            .exclude_ambiguous = exclude,
            .symbols = std::move(symbols)};
}

std::set<char32_t> chars_of(std::u32string_view text) {
    return {text.begin(), text.end()};
}

}  // namespace

namespace QTest {
template <>
char* toString(const std::u32string& text) {
    return qstrdup(show(text).toUtf8().constData());
}
template <>
char* toString(const PoolMap& pools) {
    QStringList entries;
    for (const auto& [kind, chars] : pools) {
        entries << QString::fromStdString(kind) + "=" + show(chars);
    }
    return qstrdup(entries.join(", ").toUtf8().constData());
}
}  // namespace QTest

class TestGenerator : public QObject {
    Q_OBJECT

private slots:
    void build_pool_data() {
        QTest::addColumn<Kinds>("kinds");
        QTest::addColumn<std::u32string>("symbols");
        QTest::addColumn<PoolMap>("expected");

        QTest::newRow("fixed order whatever the order asked")
            << Kinds{"symbols", "upper", "digits"} << DEFAULTS
            << PoolMap{{"digits", DIGITS}, {"upper", UPPER}, {"symbols", DEFAULTS}};
        QTest::newRow("repeated kind") << Kinds{"lower", "lower"} << DEFAULTS << PoolMap{{"lower", LOWER}};
        QTest::newRow("unknown name passed over") << Kinds{"digits", "hex"} << DEFAULTS << PoolMap{{"digits", DIGITS}};
        QTest::newRow("repeats removed, first occurrence kept")
            << Kinds{"symbols"} << std::u32string(U"a!a!b") << PoolMap{{"symbols", U"a!b"}};
        QTest::newRow("blanks only") << Kinds{"symbols"} << std::u32string(U"   ") << PoolMap{{"symbols", U" "}};
        QTest::newRow("blank inside a set stays")
            << Kinds{"symbols"} << std::u32string(U"# $ ") << PoolMap{{"symbols", U"# $"}};
        QTest::newRow("empty set keeps the entry") << Kinds{"symbols"} << std::u32string() << PoolMap{{"symbols", U""}};
        QTest::newRow("symbols not read unless asked")
            << Kinds{"upper"} << std::u32string() << PoolMap{{"upper", UPPER}};
        QTest::newRow("outside the BMP counts once")
            << Kinds{"symbols"} << std::u32string(U"\U0001F600x\U0001F600") << PoolMap{{"symbols", U"\U0001F600x"}};
        QTest::newRow("any code point taken verbatim")
            << Kinds{"symbols"} << std::u32string{0, 0xD800, 0, 0x10FFFF, 0xD800, 0xFFFFFFFF}
            << PoolMap{{"symbols", std::u32string{0, 0xD800, 0x10FFFF, 0xFFFFFFFF}}};
        QTest::newRow("letters in the set stay beside their pool")
            << Kinds{"lower", "symbols"} << std::u32string(U"aa") << PoolMap{{"lower", LOWER}, {"symbols", U"a"}};
    }
    void build_pool() {
        QFETCH(Kinds, kinds);
        QFETCH(std::u32string, symbols);
        QFETCH(PoolMap, expected);
        QCOMPARE(zelkora::build_pool(kinds, symbols), expected);
    }

    void build_pool_refusal_data() {
        QTest::addColumn<Kinds>("kinds");
        QTest::newRow("empty") << Kinds{};
        QTest::newRow("unknown only") << Kinds{"hex"};
        QTest::newRow("case matters") << Kinds{"Digits"};
        QTest::newRow("padded name") << Kinds{"digits "};
    }
    void build_pool_refusal() {
        QFETCH(Kinds, kinds);
        QCOMPARE(refusal([&] { zelkora::build_pool(kinds, DEFAULTS); }), QString("少なくとも1種類を指定してください"));
    }

    void exclude_ambiguous_data() {
        QTest::addColumn<PoolMap>("pools");
        QTest::addColumn<PoolMap>("expected");
        QTest::addColumn<QString>("error");

        QTest::newRow("the fixed pools") << PoolMap{{"digits", DIGITS},
                                                    {"lower", LOWER},
                                                    {"upper", UPPER},
                                                    {"symbols", DEFAULTS}}
                                         << PoolMap{{"digits", U"23456789"},
                                                    {"lower", U"abcdefghijkmnopqrstuvwxyz"},
                                                    {"upper", U"ABCDEFGHJKLMNPQRSTUVWXYZ"},
                                                    {"symbols", DEFAULTS}}
                                         << QString();
        QTest::newRow("entry order kept, repeats kept") << PoolMap{{"symbols", U"a0a"}, {"digits", U"19"}}
                                                        << PoolMap{{"symbols", U"aa"}, {"digits", U"9"}} << QString();
        QTest::newRow("a pool emptied by the filter")
            << PoolMap{{"lower", LOWER}, {"symbols", U"lI1"}} << PoolMap{} << QString("候補文字が空です");
        QTest::newRow("a pool empty already")
            << PoolMap{{"digits", DIGITS}, {"symbols", U""}} << PoolMap{} << QString("候補文字が空です");
        QTest::newRow("no entry") << PoolMap{} << PoolMap{} << QString("少なくとも1種類を指定してください");
    }
    void exclude_ambiguous() {
        QFETCH(PoolMap, pools);
        QFETCH(PoolMap, expected);
        QFETCH(QString, error);
        PoolMap result;
        QCOMPARE(refusal([&] { result = zelkora::_exclude_ambiguous(pools); }), error);
        QCOMPARE(result, expected);
    }

    // Refusals come in a fixed order, and nothing is drawn before any of them except
    // the guaranteed characters ahead of the length test.
    void refusals_data() {
        QTest::addColumn<GenerationRequest>("request");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("draws");

        const QString length_min = "length は 1 以上を指定してください";
        const QString count_min = "count は 1 以上を指定してください";
        const QString no_kind = "少なくとも1種類を指定してください";
        const QString bad_kind = "kinds が不正です";
        const QString empty_pool = "候補文字が空です";
        const QString too_short = "長さが短すぎます";

        QTest::newRow("length before everything") << req(0, {}, 0) << length_min << 0;
        QTest::newRow("negative length") << req(-5, ALL_KINDS, 3) << length_min << 0;
        QTest::newRow("smallest length") << req(INT_MIN, ALL_KINDS, 3) << length_min << 0;
        QTest::newRow("count before kinds") << req(8, {"Upper"}, 0) << count_min << 0;
        QTest::newRow("negative count") << req(8, ALL_KINDS, -1) << count_min << 0;
        QTest::newRow("no kinds") << req(8, {}, 1) << no_kind << 0;
        QTest::newRow("mis-cased kind") << req(8, {"digits", "Upper"}, 1) << bad_kind << 0;
        QTest::newRow("bad kind before too short") << req(1, {"digits", "upper", "x"}, 1) << bad_kind << 0;
        QTest::newRow("only ambiguous symbols") << req(8, {"symbols"}, 1, true, U"01IOl1") << empty_pool << 0;
        QTest::newRow("too short for four kinds") << req(3, ALL_KINDS, 5) << too_short << 4;
        QTest::newRow("too short, two pools") << req(1, {"digits", "upper", "digits"}, 2) << too_short << 2;
        QTest::newRow("too short with a huge count") << req(1, ALL_KINDS, INT_MAX) << too_short << 4;
    }
    void refusals() {
        QFETCH(GenerationRequest, request);
        QFETCH(QString, message);
        QFETCH(int, draws);
        ScriptedSource source(QList<uint>(draws, 0));
        QCOMPARE(refusal([&] { zelkora::generate_passwords(request, source); }), message);
        QCOMPARE(source.log.size(), draws);
    }

    void generate_one_draws_data() {
        QTest::addColumn<PoolMap>("pools");
        QTest::addColumn<int>("length");
        QTest::addColumn<QList<uint>>("answers");
        QTest::addColumn<QStringList>("draws");
        QTest::addColumn<std::u32string>("password");
        QTest::addColumn<QString>("error");

        // Guaranteed 7 and B, fills 0 and A: "7B0A"; swap 3<->0 "AB07", 2<->2, 1<->0 "BA07".
        QTest::newRow("guaranteed, fills, shuffle from the back")
            << PoolMap{{"digits", DIGITS}, {"upper", U"AB"}} << 4 << QList<uint>{7, 1, 0, 10, 0, 2, 0}
            << QStringList{"choice 0123456789", "choice AB",   "choice 0123456789AB", "choice 0123456789AB",
                           "randbelow 4",       "randbelow 3", "randbelow 2"}
            << std::u32string(U"BA07") << QString();
        QTest::newRow("a character in two pools stands twice in the fill")
            << PoolMap{{"lower", U"ab"}, {"symbols", U"a"}} << 3 << QList<uint>{1, 0, 2, 1, 0}
            << QStringList{"choice ab", "choice a", "choice aba", "randbelow 3", "randbelow 2"}
            << std::u32string(U"aba") << QString();
        QTest::newRow("length equal to the pools: nothing to fill")
            << PoolMap{{"digits", U"12"}, {"lower", U"x"}} << 2 << QList<uint>{1, 0, 0}
            << QStringList{"choice 12", "choice x", "randbelow 2"} << std::u32string(U"x2") << QString();
        QTest::newRow("length 1: no shuffle") << PoolMap{{"digits", DIGITS}} << 1 << QList<uint>{5}
                                              << QStringList{"choice 0123456789"} << std::u32string(U"5") << QString();
        QTest::newRow("too short: guaranteed draws first, then refused")
            << PoolMap{{"digits", DIGITS}, {"lower", LOWER}, {"upper", UPPER}} << 2 << QList<uint>{0, 0, 0}
            << QStringList{"choice 0123456789", "choice " + show(LOWER), "choice " + show(UPPER)} << std::u32string()
            << QString("長さが短すぎます");
    }
    void generate_one_draws() {
        QFETCH(PoolMap, pools);
        QFETCH(int, length);
        QFETCH(QList<uint>, answers);
        QFETCH(QStringList, draws);
        QFETCH(std::u32string, password);
        QFETCH(QString, error);
        ScriptedSource source(answers);
        std::u32string result;
        QCOMPARE(refusal([&] { result = zelkora::generate_one(length, pools, source); }), error);
        QCOMPARE(source.log, draws);
        QCOMPARE(result, password);
    }

    void generate_one_empty_pool() {
        QCOMPARE(refusal([] {
                     zelkora::generate_one(4, PoolMap{{"digits", DIGITS}, {"symbols", U""}});
                 }),
                 QString("候補文字が空です"));
        QCOMPARE(refusal([] { zelkora::generate_one(3, PoolMap{}); }), QString("候補文字が空です"));
    }

    // Real output over many requests: exact count and length, every pool present,
    // nothing from outside the pools.
    void real_output_data() {
        QTest::addColumn<GenerationRequest>("request");
        QTest::addColumn<QList<std::u32string>>("pools");

        QTest::newRow("one of each kind") << req(4, ALL_KINDS, 50) << QList{DIGITS, LOWER, UPPER, DEFAULTS};
        QTest::newRow("empty symbols mean the default")
            << req(4, {"symbols", "digits"}, 50, false, U"") << QList{DIGITS, DEFAULTS};
        QTest::newRow("repeated kind, two pools") << req(2, {"digits", "digits", "upper"}, 50) << QList{DIGITS, UPPER};
        QTest::newRow("one digit each") << req(1, {"digits"}, 5) << QList{DIGITS};
        QTest::newRow("filtered digits") << req(12, {"digits"}, 50, true) << QList<std::u32string>{U"23456789"};
        QTest::newRow("blank symbols only") << req(6, {"symbols"}, 5, false, U" ") << QList<std::u32string>{U" "};
        QTest::newRow("ambiguous symbol set not read")
            << req(8, {"digits", "lower"}, 50, true, U"01IOl")
            << QList<std::u32string>{U"23456789", U"abcdefghijkmnopqrstuvwxyz"};
        QTest::newRow("outside the BMP") << req(5, {"upper", "symbols"}, 50, false, U"\U0001F600\U00010000")
                                         << QList{UPPER, std::u32string(U"\U0001F600\U00010000")};
        QTest::newRow("longest the window allows") << req(1024, ALL_KINDS, 20) << QList{DIGITS, LOWER, UPPER, DEFAULTS};
    }
    void real_output() {
        QFETCH(GenerationRequest, request);
        QFETCH(QList<std::u32string>, pools);
        std::set<char32_t> allowed;
        for (const auto& pool : pools) {
            allowed.merge(chars_of(pool));
        }
        for (int round = 0; round < 20; ++round) {
            const auto passwords = zelkora::generate_passwords(request);
            QCOMPARE(passwords.size(), static_cast<std::size_t>(request.count));
            for (const auto& password : passwords) {
                QCOMPARE(password.size(), static_cast<std::size_t>(request.length));
                const auto present = chars_of(password);
                QVERIFY2(std::includes(allowed.begin(), allowed.end(), present.begin(), present.end()),
                         qPrintable(show(password)));
                for (const auto& pool : pools) {
                    QVERIFY2(std::any_of(pool.begin(), pool.end(), [&](char32_t c) { return present.count(c) > 0; }),
                             qPrintable(show(password) + " lacks " + show(pool)));
                }
            }
        }
    }

    // Every L-bit pattern, once each, in one stream: an exactly uniform draw turns them
    // into every outcome equally often, rejects the rest, and consumes every bit.
    void randbelow_exact_data() {
        QTest::addColumn<uint>("n");
        for (const uint n :
             {2U, 3U, 10U, 16U, 25U, 26U, 87U, 129U, 255U, 256U, 257U, 1000U, 1024U, 1025U, 2048U, 4099U, 1U << 20}) {
            QTest::addRow("n=%u", n) << n;
        }
    }
    void randbelow_exact() {
        QFETCH(uint, n);
        const unsigned bits = zelkora::SecureRandom::plan_for(n).bits;
        QVERIFY(bits >= static_cast<unsigned>(std::bit_width(n - 1)));
        QVERIFY(bits <= 20);
        const std::uint64_t patterns = std::uint64_t{1} << bits;
        // Enough copies of the enumeration that the stream ends on a byte boundary.
        const std::uint64_t copies = 8 / std::gcd(patterns * bits, std::uint64_t{8});
        std::vector<std::uint64_t> chunks;
        for (std::uint64_t c = 0; c < copies; ++c) {
            for (std::uint64_t x = 0; x < patterns; ++x) {
                chunks.push_back(x);
            }
        }
        const auto stream = pack(chunks, bits);
        ScriptedBytes source(stream);
        std::vector<std::uint64_t> counts(n);
        std::uint64_t draws = 0;
        try {
            for (;;) {
                const auto value = source.randbelow(n);
                QVERIFY(value < n);
                ++counts[value];
                ++draws;
            }
        } catch (const ScriptExhausted&) {
        }
        QCOMPARE(source.consumed, stream.size());
        const std::uint64_t each = copies * (patterns / n);
        for (uint value = 0; value < n; ++value) {
            QCOMPARE(counts[value], each);
        }
        // Entropy spent per draw: within six bits of the fewest that hold n outcomes,
        // so a draw below 256 costs less than two bytes.
        const double bits_per_draw = static_cast<double>(copies * patterns * bits) / static_cast<double>(draws);
        QVERIFY2(bits_per_draw <= std::bit_width(n - 1) + 6.0, qPrintable(QString::number(bits_per_draw)));
        // A power of two is drawn without retries, so nothing beyond its own bits.
        if (std::has_single_bit(n)) {
            QCOMPARE(bits_per_draw, static_cast<double>(std::bit_width(n - 1)));
        }
    }

    // A pattern in the rejected zone is skipped, and the next one decides.
    void randbelow_rejection_data() {
        QTest::addColumn<uint>("n");
        QTest::addColumn<int>("rejected");
        for (const uint n : {3U, 87U, 1000U, 65537U, (1U << 24) + 1, (1U << 31) + 1, 0xFFFFFFFFU}) {
            QTest::addRow("n=%u, one rejected", n) << n << 1;
            QTest::addRow("n=%u, three rejected", n) << n << 3;
        }
    }
    void randbelow_rejection() {
        QFETCH(uint, n);
        QFETCH(int, rejected);
        const auto plan = zelkora::SecureRandom::plan_for(n);
        QVERIFY(plan.rejected > 0);  // 0 is in the rejected zone
        const std::uint64_t top = (std::uint64_t{1} << plan.bits) - 1;
        std::vector<std::uint64_t> chunks(static_cast<std::size_t>(rejected), 0);
        chunks.push_back(top);
        const auto stream = pack(chunks, plan.bits);
        ScriptedBytes source(stream);
        QCOMPARE(source.randbelow(n), n - 1);  // the top pattern maps to the top value
        QCOMPARE(source.consumed, stream.size());
    }

    void randbelow_costs_nothing_for_one_outcome() {
        // Worked out at compile time, where a division by zero would not compile.
        static_assert(zelkora::SecureRandom::plan_for(0).bits == 0 && zelkora::SecureRandom::plan_for(1).bits == 0);
        ScriptedBytes source({});
        QCOMPARE(source.randbelow(1), 0U);
        QCOMPARE(source.choice(U"x"), U'x');
        QCOMPARE(source.consumed, std::size_t{0});
    }

    // Nibbles 1, 2, 3, ... in stream order. Every draw, direct or in a session, nested or
    // not, takes the next one: no bits are handed out twice.
    void sessions_never_repeat_bits() {
        ScriptedBytes source({0x21, 0x43, 0x65, 0x87});
        QList<uint> drawn{source.randbelow(16)};
        {
            zelkora::SecureRandom::Session outer(source);
            drawn << outer.randbelow(16) << source.randbelow(16);
            {
                zelkora::SecureRandom::Session inner(source);
                drawn << inner.randbelow(16);
            }
            drawn << outer.randbelow(16);
        }
        drawn << source.randbelow(16);
        QCOMPARE(drawn, (QList<uint>{1, 2, 3, 4, 5, 6}));
    }

    // Blocks of 13 bytes, read eight at a time and then byte by byte, against a plain
    // reading of the same stream: the lowest unused bit first, each attempt of its plan's
    // bits, drawn again in the rejected zone.
    void block_refills_match_a_bit_reader() {
        std::vector<std::uint8_t> stream(13 * 200);
        for (std::size_t i = 0; i < stream.size(); ++i) {
            stream[i] = static_cast<std::uint8_t>(i * 151 + (i >> 3) * 7 + 89);
        }
        ScriptedBytes source(stream, 13);
        std::size_t at = 0;
        const auto take = [&](unsigned bits) {
            std::uint64_t value = 0;
            for (unsigned b = 0; b < bits; ++b, ++at) {
                value |= std::uint64_t{(stream[at / 8] >> (at % 8)) & 1U} << b;
            }
            return value;
        };
        const std::array<uint, 8> bounds = {87, 2, 1000, 65537, 2048, 1U << 20, 3, 0xFFFFFFFFU};
        for (int i = 0; at + 300 < stream.size() * 8; ++i) {
            const uint n = bounds[i % bounds.size()];
            const auto plan = zelkora::SecureRandom::plan_for(n);
            std::uint64_t product = take(plan.bits) * n;
            while ((product & ((std::uint64_t{1} << plan.bits) - 1)) < plan.rejected) {
                product = take(plan.bits) * n;
            }
            QCOMPARE(source.randbelow(n), static_cast<uint>(product >> plan.bits));
        }
    }

    // All places at once from every pattern of an attempt's bits: each arrangement of
    // the drawn characters equally often, nothing left over.
    void arrangements_exact_data() {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("bits");  // log2 of size! rounded up, and four to spare
        QTest::addColumn<int>("orders");
        QTest::newRow("3 places") << 3 << 7 << 6;
        QTest::newRow("4 places") << 4 << 9 << 24;
    }
    void arrangements_exact() {
        QFETCH(int, size);
        QFETCH(int, bits);
        QFETCH(int, orders);
        PoolMap pools;
        for (int i = 0; i < size; ++i) {
            pools.emplace_back("digits", std::u32string(1, static_cast<char32_t>(U'a' + i)));
        }
        std::vector<std::uint64_t> chunks(8 << bits);
        std::iota(chunks.begin(), chunks.end(), 0);  // every pattern 8 times, in its low bits
        ScriptedBytes source(pack(chunks, static_cast<unsigned>(bits)));
        std::map<std::u32string, int> seen;
        try {
            for (;;) {
                ++seen[zelkora::generate_one(size, pools, source)];
            }
        } catch (const ScriptExhausted&) {
        }
        QCOMPARE(static_cast<int>(seen.size()), orders);
        for (const auto& [order, times] : seen) {
            QCOMPARE(times, 8 * ((1 << bits) / orders));
        }
    }

    // A failing system call is an error, never fewer bytes; a short or interrupted one
    // is called again for the rest.
    void read_fully_data() {
        QTest::addColumn<QList<int>>("results");  // bytes delivered, or -errno
        QTest::addColumn<bool>("fails");
        QTest::newRow("short reads") << QList<int>{3, 5, 8} << false;
        QTest::newRow("interrupted") << QList<int>{-EINTR, 7, -EINTR, 9} << false;
        QTest::newRow("failure") << QList<int>{4, -EIO} << true;
        QTest::newRow("no progress") << QList<int>{0} << true;
    }
    void read_fully() {
        QFETCH(QList<int>, results);
        QFETCH(bool, fails);
        static QList<int> script;
        script = results;
        std::array<std::byte, 16> out{};
        const auto read = [](void* buffer, std::size_t) -> std::ptrdiff_t {
            const int result = script.takeFirst();
            if (result < 0) {
                errno = -result;
                return -1;
            }
            std::fill_n(static_cast<std::byte*>(buffer), result, std::byte{1});
            return result;
        };
        bool failed = false;
        try {
            zelkora::read_fully(read, out.data(), out.size());
        } catch (const std::system_error&) {
            failed = true;
        }
        QCOMPARE(failed, fails);
        QVERIFY(script.isEmpty());
        QCOMPARE(std::count(out.begin(), out.end(), std::byte{1}) == 16, !fails);
    }

    // The operating system's stream across many blocks: a source that stopped
    // refilling, or repeated itself, shows here. With 256 cells of 4096 expected each
    // the chi-square statistic has 255 degrees of freedom; above 400 happens by chance
    // with probability about 2e-8.
    void secure_random_bytes_look_uniform() {
        zelkora::SecureRandom random;
        std::vector<double> counts(256);
        const int draws = 256 * 4096;
        for (int i = 0; i < draws; ++i) {
            ++counts[random.randbelow(256)];
        }
        double chi_square = 0;
        for (const double count : counts) {
            chi_square += (count - 4096) * (count - 4096) / 4096;
        }
        QVERIFY2(chi_square < 400, qPrintable(QString::number(chi_square)));

        zelkora::SecureRandom other;
        std::vector<std::uint32_t> a, b;
        for (int i = 0; i < 8; ++i) {
            a.push_back(random.randbelow(0xFFFFFFFFU));
            b.push_back(other.randbelow(0xFFFFFFFFU));
        }
        QVERIFY(a != b);
    }
};

QTEST_APPLESS_MAIN(TestGenerator)
#include "test_generator.moc"
