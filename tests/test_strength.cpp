// The strength figures against the exact distribution, enumerated over every path of
// draws, and the refusals the strength shares with the generator.
#include <cmath>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <QtTest>

#include "engine_fixture.h"
#include "errors.h"
#include "generator.h"
#include "strength.h"

using zelkora::GenerationRequest;
using zelkora::PoolMap;

namespace {

// Answers every draw in turn with every value it can take: each run of the assembly
// follows one path through the tree of answers, and next() moves on to the following
// path. The weight of a path is the chance that a fair source takes it.
class TreeWalker : public zelkora::RandomSource {
public:
    std::uint32_t randbelow(std::uint32_t n) override {
        if (_depth == _path.size())
            _path.push_back({0, n});
        Step& step = _path[_depth++];
        step.bound = n;
        _weight /= n;
        return step.value;
    }

    double weight() const { return _weight; }

    bool next() {
        _path.resize(_depth);
        while (!_path.empty() && _path.back().value + 1 == _path.back().bound)
            _path.pop_back();
        if (_path.empty())
            return false;
        ++_path.back().value;
        _depth = 0;
        _weight = 1;
        return true;
    }

private:
    struct Step {
        std::uint32_t value;
        std::uint32_t bound;
    };
    std::vector<Step> _path;
    std::size_t _depth = 0;
    double _weight = 1;
};

struct Truth {
    double shannon = 0;
    double min_entropy = 0;
    std::size_t paths = 0;
};

// The exact distribution of one password, summed over every path of draws.
template <typename Assemble>
Truth enumerate(Assemble assemble) {
    std::map<std::u32string, double> chance;
    TreeWalker walker;
    Truth truth;
    do {
        const std::u32string password = assemble(walker);
        chance[password] += walker.weight();
        ++truth.paths;
    } while (walker.next());
    double most = 0;
    for (const auto& [password, p] : chance) {
        truth.shannon -= p * std::log2(p);
        most = std::max(most, p);
    }
    truth.min_entropy = -std::log2(most);
    return truth;
}

PoolMap pools(std::initializer_list<std::u32string> chars) {
    PoolMap map;
    for (const auto& c : chars)
        map.emplace_back("symbols", c);
    return map;
}

constexpr double EXACT = 1e-9;

const std::vector<std::string> ALL_KINDS = {"digits", "lower", "upper", "symbols"};

GenerationRequest request(int length, std::vector<std::string> kinds, bool exclude_ambiguous = false,
                          std::optional<std::u32string> symbols = std::nullopt, int count = 1) {
    return {.length = length,
            .kinds = std::move(kinds),
            .count = count,
            .exclude_ambiguous = exclude_ambiguous,
            .symbols = std::move(symbols)};
}

}  // namespace

class TestStrength : public QObject {
    Q_OBJECT

private slots:
    void figures_match_every_path_of_the_assembly_data() {
        QTest::addColumn<int>("length");
        QTest::addColumn<PoolMap>("map");
        QTest::addColumn<bool>("exact");
        QTest::addColumn<double>("slack");  // how far below the truth a bound may lie
        QTest::newRow("one pool") << 3 << pools({U"abc"}) << true << 0.0;
        QTest::newRow("two pools, nothing to fill") << 2 << pools({U"a", U"bc"}) << true << 0.0;
        QTest::newRow("two pools") << 4 << pools({U"ab", U"cde"}) << true << 0.0;
        QTest::newRow("three pools of one to three") << 5 << pools({U"ab", U"cde", U"f"}) << true << 0.0;
        QTest::newRow("three pools of three") << 5 << pools({U"abc", U"def", U"ghi"}) << true << 0.0;
        QTest::newRow("one shared") << 3 << pools({U"ab", U"bc"}) << false << 1.0;
        QTest::newRow("one shared, longer") << 5 << pools({U"ab", U"bc"}) << false << 1.5;
        QTest::newRow("a pool inside another") << 4 << pools({U"abc", U"c"}) << false << 1.5;
        QTest::newRow("the same pool twice") << 3 << pools({U"ab", U"ab"}) << false << 1.5;
        QTest::newRow("three pools in a ring") << 4 << pools({U"ab", U"bc", U"ca"}) << false << 2.0;
        QTest::newRow("shared beside unshared") << 5 << pools({U"ab", U"c", U"bd"}) << false << 2.0;
    }
    void figures_match_every_path_of_the_assembly() {
        QFETCH(int, length);
        QFETCH(PoolMap, map);
        QFETCH(bool, exact);
        QFETCH(double, slack);
        const Truth truth = enumerate([&](TreeWalker& walker) { return zelkora::generate_one(length, map, walker); });
        const auto figures = zelkora::_pools_strength(length, map);
        QCOMPARE(figures.exact, exact);
        check(figures, truth, exact, slack);
    }

    // The same judge through the request: the real pools, filter and batch included.
    void requests_match_every_path_of_the_assembly_data() {
        QTest::addColumn<GenerationRequest>("options");
        QTest::addColumn<bool>("exact");
        QTest::newRow("digits without 0 and 1, two symbols") << request(3, {"digits", "symbols"}, true, U"0!?") << true;
        QTest::newRow("a digit in the symbol set") << request(4, {"symbols", "digits"}, true, U"12a") << false;
    }
    void requests_match_every_path_of_the_assembly() {
        QFETCH(GenerationRequest, options);
        QFETCH(bool, exact);
        const Truth truth = enumerate([&](TreeWalker& walker) {
            const auto batch = zelkora::generate_passwords(options, walker);
            return std::u32string(batch.at(0));
        });
        const auto figures = zelkora::password_strength(options);
        QCOMPARE(figures.exact, exact);
        check(figures, truth, exact, 2.0);
    }

    void known_figures_data() {
        QTest::addColumn<GenerationRequest>("options");
        QTest::addColumn<double>("shannon");
        QTest::addColumn<double>("min_entropy");
        QTest::newRow("default options") << request(16, ALL_KINDS) << 102.76 << 102.10;
        QTest::newRow("digits only: uniform") << request(6, {"digits"}) << 6 * std::log2(10.0) << 6 * std::log2(10.0);
        QTest::newRow("count is ignored") << request(16, ALL_KINDS, false, std::nullopt, 0) << 102.76 << 102.10;
    }
    void known_figures() {
        QFETCH(GenerationRequest, options);
        QFETCH(double, shannon);
        QFETCH(double, min_entropy);
        const auto figures = zelkora::password_strength(options);
        QVERIFY(figures.exact);
        QVERIFY2(std::abs(figures.shannon_bits - shannon) < 0.005,
                 qPrintable(QString::number(figures.shannon_bits, 'f', 4)));
        QVERIFY2(std::abs(figures.min_entropy_bits - min_entropy) < 0.005,
                 qPrintable(QString::number(figures.min_entropy_bits, 'f', 4)));
    }

    // A thousand fill draws and more: the binomial terms must neither overflow nor vanish,
    // and no length may make the figure slow to work out.
    void long_passwords_data() {
        QTest::addColumn<int>("length");
        QTest::addColumn<std::u32string>("symbols");  // empty: the default set
        QTest::addColumn<double>("distinct");         // characters to choose from
        QTest::newRow("1024") << 1024 << std::u32string() << 87.0;
        QTest::newRow("1024, letters among the symbols") << 1024 << std::u32string(U"abc!") << 63.0;
        QTest::newRow("a million") << 1000000 << std::u32string() << 87.0;
        QTest::newRow("a million, letters among the symbols") << 1000000 << std::u32string(U"abc!") << 63.0;
    }
    void long_passwords() {
        QFETCH(int, length);
        QFETCH(std::u32string, symbols);
        QFETCH(double, distinct);
        const auto figures = zelkora::password_strength(request(length, ALL_KINDS, false, symbols));
        const double uniform = length * std::log2(distinct);  // no generator of these strings does better
        QVERIFY(std::isfinite(figures.shannon_bits) && std::isfinite(figures.min_entropy_bits));
        QVERIFY(figures.min_entropy_bits <= figures.shannon_bits);
        QVERIFY(figures.shannon_bits <= uniform);
        if (figures.exact)  // the guaranteed kinds cost a few bits, not a share of the length
            QVERIFY(figures.min_entropy_bits > uniform - 16);
        else
            QVERIFY(figures.min_entropy_bits > 0.5 * uniform);
    }

    void refuses_what_generation_refuses_data() {
        QTest::addColumn<GenerationRequest>("options");
        QTest::addColumn<QString>("message");
        QTest::newRow("length first") << request(0, {}, false, std::nullopt, 0) << "length は 1 以上を指定してください";
        QTest::newRow("no kind") << request(8, {}) << "少なくとも1種類を指定してください";
        QTest::newRow("unknown kind") << request(8, {"digits", "Upper"}) << "kinds が不正です";
        QTest::newRow("symbols all ambiguous") << request(8, {"symbols"}, true, U"01lIO") << "候補文字が空です";
        QTest::newRow("too short") << request(3, ALL_KINDS) << "長さが短すぎます";
        QTest::newRow("short but repeated kinds") << request(2, {"digits", "digits", "upper"}) << "";
    }
    void refuses_what_generation_refuses() {
        QFETCH(GenerationRequest, options);
        QFETCH(QString, message);
        QCOMPARE(refusal([&] { zelkora::password_strength(options); }), message);
        QCOMPARE(refusal([&] { zelkora::generate_passwords(options); }), message);
    }

private:
    static void check(const zelkora::PasswordStrength& figures, const Truth& truth, bool exact, double slack) {
        const QString seen = QString("paths %1: shannon %2 (true %3), min-entropy %4 (true %5)")
                                 .arg(truth.paths)
                                 .arg(figures.shannon_bits, 0, 'f', 6)
                                 .arg(truth.shannon, 0, 'f', 6)
                                 .arg(figures.min_entropy_bits, 0, 'f', 6)
                                 .arg(truth.min_entropy, 0, 'f', 6);
        if (exact) {
            QVERIFY2(std::abs(figures.shannon_bits - truth.shannon) < EXACT, qPrintable(seen));
            QVERIFY2(std::abs(figures.min_entropy_bits - truth.min_entropy) < EXACT, qPrintable(seen));
            return;
        }
        QVERIFY2(figures.shannon_bits <= truth.shannon + EXACT, qPrintable(seen));
        QVERIFY2(figures.min_entropy_bits <= truth.min_entropy + EXACT, qPrintable(seen));
        QVERIFY2(figures.shannon_bits >= truth.shannon - slack, qPrintable(seen));
        QVERIFY2(figures.min_entropy_bits >= truth.min_entropy - slack, qPrintable(seen));
    }
};

QTEST_APPLESS_MAIN(TestStrength)

#include "test_strength.moc"
