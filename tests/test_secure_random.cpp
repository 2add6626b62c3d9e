// The secure source's draws: exactly uniform by rejection, paid in the bits they use,
// never a bit handed out twice, and the system's bytes read in full or not at all.
#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <map>
#include <numeric>
#include <string>
#include <system_error>
#include <vector>

#include <QtTest>

#include "engine_fixture.h"
#include "generator.h"
#include "secure_random.h"

using zelkora::PoolMap;

namespace {

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

}  // namespace

class TestSecureRandom : public QObject {
    Q_OBJECT

private slots:
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

QTEST_APPLESS_MAIN(TestSecureRandom)
#include "test_secure_random.moc"
