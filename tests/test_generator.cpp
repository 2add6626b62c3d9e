// The generator: pools from the options, the refusals in their order, the draws
// generate_one makes, and real output over many requests.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include <QtTest>

#include "engine_fixture.h"
#include "errors.h"
#include "generator.h"
#include "secure_random.h"
#include "symbol_warning.h"

using zelkora::GenerationRequest;
using zelkora::PoolMap;
using Kinds = std::vector<std::string>;

Q_DECLARE_METATYPE(Kinds)

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

    // What the README promises for a set holding each character, alone or at an end: the
    // refusal, or the kind the warning names it under and how it is shown.
    void symbol_set_refused_or_named_as_the_readme_says_data() {
        QTest::addColumn<std::u32string>("symbols");
        QTest::addColumn<QString>("said");
        const auto row = [](const char* name, const char32_t* symbols, const char* kinds, bool refused = false) {
            const QString end = refused ? "があるため生成できません" : "があります";
            QTest::newRow(name) << std::u32string(symbols) << (*kinds ? "記号セットに" + QString(kinds) + end : "");
        };
        row("ideographic space inside", U"#\u3000$", "全角文字 1 個（U+3000）");
        row("ideographic space at the start", U"\u3000#", "先頭か末尾の空白 1 個（U+3000）");
        row("no-break space inside", U"#\u00A0$", "見えない文字 1 個（U+00A0）");
        row("no-break space and space at the end", U"#\u00A0 ", "先頭か末尾の空白 2 個（U+00A0、U+0020）");
        row("space inside", U"# $", "");
        row("variation selector", U"#\uFE0F", "見えない文字 1 個（U+FE0F）");
        row("Hangul filler", U"#\u3164$", "見えない文字 1 個（U+3164）");
        row("braille blank", U"#\u2800$", "見えない文字 1 個（U+2800）");
        row("combining acute accent", U"#\u0301", "結合文字 1 個（U+0301）");
        row("full-width exclamation mark", U"\uFF01", "全角文字 1 個（！）");
        row("emoji", U"#\U0001F600", "全角文字 1 個（😀）");
        row("private use", U"\uE000#", "見えない文字 1 個（U+E000）");
        row("unassigned", U"#\u0378", "見えない文字 1 個（U+0378）");
        row("noncharacter", U"#\uFFFE", "見えない文字 1 個（U+FFFE）");
        row("replacement character", U"#\uFFFD", "変換できなかった文字 1 個（U+FFFD）");
        row("Greek", U"#αβγ", " ASCII 以外の文字 3 個（α、β ほか）");
        row("line feed", U"#\n", "改行などの制御文字 1 個（U+000A）", true);
        row("tab, carriage return", U"\t#\r", "改行などの制御文字 2 個（U+0009、U+000D）", true);
        row("next line, line separator, DEL", U"#\x85\u2028\x7F", "改行などの制御文字 3 個（U+0085、U+2028 ほか）",
            true);
    }
    void symbol_set_refused_or_named_as_the_readme_says() {
        QFETCH(std::u32string, symbols);
        QFETCH(QString, said);
        const QString refused = refusal([&] { zelkora::generate_passwords(req(8, {"symbols"}, 1, false, symbols)); });
        QCOMPARE(refused.isEmpty() ? QString::fromStdString(zelkora::symbol_set_warning(symbols)) : refused, said);
    }
};

QTEST_APPLESS_MAIN(TestGenerator)
#include "test_generator.moc"
