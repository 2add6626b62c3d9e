#include "cli_options.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <limits>
#include <string_view>

#include "symbol_warning.h"
#include "utf8.h"

namespace zelkora {

namespace {

enum class Id {
    length,
    count,
    digits,
    lower,
    upper,
    symbols,
    symbol_set,
    exclude,
    strength,
    output,
    force,
    null,
    crlf,
    help,
    version
};

struct Spec {
    Id id;
    char short_name;  // 0: long form only
    std::string_view long_name;
    bool takes_value;
};

constexpr std::array<Spec, 15> SPECS = {{
    {Id::length, 'l', "length", true},
    {Id::count, 'n', "count", true},
    {Id::digits, 'd', "digits", false},
    {Id::lower, 'a', "lower", false},
    {Id::upper, 'A', "upper", false},
    {Id::symbols, 's', "symbols", false},
    {Id::symbol_set, 'S', "symbol-set", true},
    {Id::exclude, 'x', "exclude-ambiguous", false},
    {Id::strength, 0, "strength", false},
    {Id::output, 'o', "output", true},
    {Id::force, 0, "force", false},
    {Id::null, '0', "null", false},
    {Id::crlf, 0, "crlf", false},
    {Id::help, 'h', "help", false},
    {Id::version, 0, "version", false},
}};

// The kinds in the window's order, which is also the order of the engine's pools.
constexpr std::array<std::string_view, 4> KINDS = {"digits", "lower", "upper", "symbols"};

// A value echoed in a message: what is not UTF-8 would garble the terminal.
std::string echoed(std::string_view value) {
    return decode_utf8(value) ? std::string(value) : std::string("（UTF-8 ではない値）");
}

// Exact names first; otherwise an unambiguous beginning, as GNU programs take them.
const Spec& long_spec(std::string_view name) {
    const Spec* found = nullptr;
    std::string candidates;
    int matches = 0;
    for (const Spec& spec : SPECS) {
        if (spec.long_name == name) {
            return spec;
        }
        if (!name.empty() && spec.long_name.starts_with(name)) {
            candidates += (matches++ == 0 ? "--" : ", --") + std::string(spec.long_name);
            found = &spec;
        }
    }
    if (matches > 1) {
        throw UsageError("あいまいなオプションです: --" + echoed(name) + "（" + candidates + "）");
    }
    if (!found) {
        throw UsageError("不明なオプションです: --" + echoed(name));
    }
    return *found;
}

const Spec& short_spec(char name, std::string_view argument) {
    const auto found = std::find_if(SPECS.begin(), SPECS.end(), [name](const Spec& s) { return s.short_name == name; });
    if (found == SPECS.end()) {
        const bool printable = name > ' ' && name < 0x7F;
        throw UsageError("不明なオプションです: " + (printable ? "-" + std::string(1, name) : echoed(argument)));
    }
    return *found;
}

std::uint64_t number(std::string_view shown, std::string_view value, std::uint64_t most) {
    if (value.empty()) {
        throw UsageError(std::string(shown) + " の値が空です");
    }
    const bool negative = value.front() == '-';
    const std::string_view digits = value.substr(negative ? 1 : 0);
    if (digits.empty() || !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        throw UsageError(std::string(shown) + " には数を指定してください: " + echoed(value));
    }
    std::uint64_t n = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
    if (negative || error != std::errc() || n < 1 || n > most) {
        throw UsageError(std::string(shown) + " は 1 から " + std::to_string(most) +
                         " までで指定してください: " + std::string(value));
    }
    return n;
}

class Parser {
public:
    // False once --help or --version has decided what the program does.
    bool apply(const Spec& spec, std::string_view shown, std::string_view value) {
        switch (spec.id) {
            case Id::length:
                _options.request.length = static_cast<int>(number(shown, value, CLI_LENGTH_MOST));
                _options.length_given = true;
                break;
            case Id::count:
                _options.count = number(shown, value, std::numeric_limits<std::uint64_t>::max());
                break;
            case Id::symbol_set: {
                std::optional<std::u32string> symbols = decode_utf8(value);
                if (!symbols) {
                    throw UsageError(std::string(shown) + " の値が UTF-8 として正しくありません");
                }
                // Refused before the policy or anything else is looked at: every password
                // must stay one line of the output, whatever else the options say.
                if (std::string refusal = symbol_set_refusal(*symbols); !refusal.empty()) {
                    throw UsageError(refusal);
                }
                _options.request.symbols = std::move(symbols);
                break;
            }
            case Id::digits:
            case Id::lower:
            case Id::upper:
            case Id::symbols:
                _kinds[static_cast<int>(spec.id) - static_cast<int>(Id::digits)] = true;
                break;
            case Id::exclude:
                _options.request.exclude_ambiguous = true;
                break;
            case Id::strength:
                _options.show_strength = true;
                break;
            case Id::output:
                if (value.empty()) {
                    throw UsageError(std::string(shown) + " の値が空です");
                }
                _options.output = std::string(value);
                break;
            case Id::force:
                _options.force = true;
                break;
            case Id::null:
                _null = true;
                break;
            case Id::crlf:
                _crlf = true;
                break;
            case Id::help:
                _options.action = CliOptions::Action::help;
                return false;
            case Id::version:
                _options.action = CliOptions::Action::version;
                return false;
        }
        return true;
    }

    CliOptions finish() {
        if (_null && _crlf) {
            throw UsageError("--null と --crlf は同時に指定できません");
        }
        _options.separator = _null ? std::string(1, '\0') : _crlf ? "\r\n" : "\n";
        // None chosen is all four, as the window starts; a symbol set given adds symbols to
        // those chosen, as a set typed into the window does not untick the other kinds.
        const bool any = std::find(_kinds.begin(), _kinds.end(), true) != _kinds.end();
        _options.kinds_given = any;
        for (std::size_t i = 0; i < KINDS.size(); ++i) {
            if (_kinds[i] || !any || (KINDS[i] == "symbols" && _options.request.symbols)) {
                _options.request.kinds.emplace_back(KINDS[i]);
            }
        }
        return _options;
    }

    CliOptions& options() { return _options; }

private:
    CliOptions _options;
    std::array<bool, 4> _kinds{};
    bool _null = false;
    bool _crlf = false;
};

}  // namespace

CliOptions parse_cli_options(const std::vector<std::string>& args) {
    Parser parser;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        const auto next_value = [&](std::string_view shown) -> std::string_view {
            if (i + 1 >= args.size()) {
                throw UsageError("オプション " + std::string(shown) + " には値が必要です");
            }
            return args[++i];
        };
        if (arg == "--") {
            if (i + 1 < args.size()) {
                throw UsageError("余分な引数です: " + echoed(args[i + 1]));
            }
            break;
        }
        if (arg.starts_with("--")) {
            const std::size_t equals = arg.find('=');
            const Spec& spec = long_spec(arg.substr(2, equals == std::string_view::npos ? arg.npos : equals - 2));
            const std::string shown = "--" + std::string(spec.long_name);
            if (!spec.takes_value && equals != std::string_view::npos) {
                throw UsageError("オプション " + shown + " は値を取りません");
            }
            const std::string_view value = !spec.takes_value                  ? std::string_view()
                                           : equals != std::string_view::npos ? arg.substr(equals + 1)
                                                                              : next_value(shown);
            if (!parser.apply(spec, shown, value)) {
                return parser.options();
            }
        } else if (arg.size() > 1 && arg.front() == '-') {
            // Flags grouped (-dA), and a value joined to its option (-l20) or after it.
            for (std::size_t j = 1; j < arg.size(); ++j) {
                const Spec& spec = short_spec(arg[j], arg);
                const std::string shown = "-" + std::string(1, arg[j]);
                std::string_view value;
                if (spec.takes_value) {
                    value = j + 1 < arg.size() ? arg.substr(j + 1) : next_value(shown);
                    j = arg.size();
                }
                if (!parser.apply(spec, shown, value)) {
                    return parser.options();
                }
            }
        } else {
            throw UsageError("余分な引数です: " + echoed(arg));
        }
    }
    return parser.finish();
}

std::optional<std::string> apply_policy(const Policy& policy, CliOptions& options) {
    if (policy.empty()) {
        return std::nullopt;
    }
    GenerationRequest& request = options.request;
    GenerationRequest inside = request;
    bring_inside(policy, inside);
    if (!options.length_given) {
        request.length = inside.length;
    }
    if (!options.kinds_given) {
        // A symbol set given still asks for symbols.
        const bool symbols_asked = request.symbols.has_value();
        request.kinds = inside.kinds;
        if (symbols_asked && std::find(request.kinds.begin(), request.kinds.end(), "symbols") == request.kinds.end()) {
            request.kinds.emplace_back("symbols");
        }
    }
    // -x can only ask to leave the characters out; without it, the policy decides.
    if (!request.exclude_ambiguous) {
        request.exclude_ambiguous = inside.exclude_ambiguous;
    }
    if (!request.symbols) {
        request.symbols = inside.symbols;
    }
    return policy_refusal(policy, request);
}

std::string cli_help_text() {
    std::string symbols;
    for (const char32_t c : DEFAULT_SYMBOLS) {
        symbols.push_back(static_cast<char>(c));  // all ASCII
    }
    return "使い方: zelkora-cli [オプション]...\n"
           "安全な乱数からパスワードを作り、標準出力に 1 行に 1 件ずつ書きます（UTF-8）。\n"
           "種類（-d -a -A -s）を 1 つも指定しなければ、4 種類すべてを使います。選んだ種類の\n"
           "文字は、どのパスワードにも必ず 1 文字以上入ります。\n"
           "\n"
           "  -l, --length N             パスワードの長さ（文字数、1〜" +
           std::to_string(CLI_LENGTH_MOST) +
           "、既定 16）\n"
           "  -n, --count N              作る件数（1 以上、上限なし、既定 1）\n"
           "  -d, --digits               数字 0-9 を使う\n"
           "  -a, --lower                英小文字 a-z を使う\n"
           "  -A, --upper                英大文字 A-Z を使う\n"
           "  -s, --symbols              記号を使う（既定の記号: " +
           symbols +
           "）\n"
           "  -S, --symbol-set SET       記号として使う文字（記号も使う。空なら既定の記号）\n"
           "  -x, --exclude-ambiguous    紛らわしい文字 0 1 I O l を除く\n"
           "      --strength             パスワードの前に、強度を標準エラー出力に 1 行で書く\n"
           "  -o, --output FILE          標準出力ではなく FILE に書く。書き終えてから置くので、\n"
           "                             途中までのファイルは残らない\n"
           "      --force                FILE がすでにあれば置き換える（ないと書かずに終了）\n"
           "  -0, --null                 改行ではなく NUL 文字で区切る（xargs -0 向け）\n"
           "      --crlf                 改行を CR LF にする\n"
           "  -h, --help                 この説明を表示して終了\n"
           "      --version              版を表示して終了\n"
           "\n"
           "--length=N と --length N、-lN と -l N は同じです。同じオプションを 2 度指定すると、\n"
           "あとのほうが使われます。\n"
           "\n"
           "記号セットの文字はそのまま使います。ただし、改行やタブなどの制御文字（U+0000〜U+001F、\n"
           "U+007F〜U+009F、U+2028、U+2029）がある記号セットは、パスワードが 1 行に収まらない\n"
           "ので断ります（終了ステータス 2）。印字可能な ASCII（U+0021〜U+007E と途中の空白）以外の\n"
           "文字があれば、パスワードの前に標準エラー出力に 1 行で、次の種類ごとに異なる文字の数と\n"
           "最初の 2 文字まで（3 文字目からは「ほか」）を書きます。\n"
           "  見えない文字          U+0020 と U+3000 以外の空白、書式文字、私用の文字、未割り当ての\n"
           "                        符号位置と非文字、無視してよい符号位置（U+200B、U+FE0F、U+3164\n"
           "                        など）、何も描かれない文字（U+2800 など）\n"
           "  変換できなかった文字  U+FFFD（貼り付けた壊れた文字がこれになります）\n"
           "  先頭か末尾の空白      先頭または末尾に続く空白（U+0020、U+00A0、U+3000 など）\n"
           "  結合文字              前の文字と組み合わさる文字（U+0301 など）\n"
           "  全角文字              全角・ワイドの文字（！ ＃ U+3000、かな、漢字、多くの絵文字）\n"
           "  ASCII 以外の文字      そのほかの文字（α ★ など）\n"
           "1 文字は 1 種類にだけ数え、先頭か末尾の空白をいちばん先に、ほかは上の順に当てはめます。\n"
           "全角文字と ASCII 以外の文字はその文字で、空白とそのほかの種類は U+XXXX で示します。\n"
           "例: 記号セットに見えない文字 2 個（U+00A0、U+200B）、全角文字 1 個（！）があります\n"
           "\n"
           "JIS 配列と US 配列のキーボードの両方で打つパスワードなら: ! # $ % , - . / ; < > ? は\n"
           "どちらでも同じキー（Shift も同じ）ですが、\" & ' ( ) * + : = @ [ ] ^ _ ` { } \\ | ~ は\n"
           "キーが違います（JIS の \\ は ¥ と表示されることもあります）。同じキーの記号だけを使うには:\n"
           "  zelkora-cli -S '!#$%,-./;<>?'\n"
           "\n"
           "組織の管理者がパスワードのポリシーを決めていれば、指定しなかった長さ・種類・記号セット・\n"
           "紛らわしい文字の扱いはポリシーに合わせ、ポリシーに合わない指定は断ります。\n"
           "\n"
           "終了ステータス:\n"
           "  0  書き終えた（読み手がパイプを閉じて途中で止めたときも）\n"
           "  1  この設定では作れない、または乱数源が使えない\n"
           "  2  使い方の誤り（制御文字のある記号セットも）\n"
           "  3  出力を書けなかった\n"
           "  4  組織の管理者が決めたパスワードのポリシーに合わない（ポリシーの値の誤りも）\n"
           "\n"
           "例:\n"
           "  zelkora-cli -l 20 -n 5\n"
           "  zelkora-cli -n 1000 -d -a -A -x -o passwords.txt\n"
           "  zelkora-cli -l 24 -S '!#%&' --strength\n";
}

std::string cli_version_text() {
    return "zelkora-cli " ZELKORA_VERSION "\n";
}

}  // namespace zelkora
