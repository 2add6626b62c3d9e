#include "policy.h"

#include <algorithm>
#include <charconv>

#include "utf8.h"

namespace zelkora {

namespace {

constexpr std::array<std::string_view, 4> KIND_NAMES = {"digits", "lower", "upper", "symbols"};
constexpr std::array<std::string_view, 4> KIND_WORDS = {"数字", "英小文字", "英大文字", "記号"};

constexpr std::string_view BLANKS = " \t\r";
constexpr std::string_view UTF8_BOM = "\xEF\xBB\xBF";

struct CodePointRange {
    char32_t first;
    char32_t last;
};
// LETTERS_AND_NUMBERS: sorted, disjoint, generated from Unicode's data files at build time.
#include "letters_and_numbers.h"

bool letter_or_number(char32_t c) {
    const auto after = std::upper_bound(std::begin(LETTERS_AND_NUMBERS), std::end(LETTERS_AND_NUMBERS), c,
                                        [](char32_t code, const CodePointRange& range) { return code < range.first; });
    return after != std::begin(LETTERS_AND_NUMBERS) && std::prev(after)->last >= c;
}

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(BLANKS);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(BLANKS) - first + 1);
}

const PolicyValueName* known_name(std::string_view name) {
    const auto found = std::find_if(POLICY_VALUE_NAMES.begin(), POLICY_VALUE_NAMES.end(),
                                    [name](const PolicyValueName& known) { return known.name == name; });
    return found == POLICY_VALUE_NAMES.end() ? nullptr : &*found;
}

// Text read from the store as a message can carry it: what is not UTF-8, and control
// characters, as \xNN, so that no message turns into something else on a terminal.
std::string shown(std::string_view text) {
    std::string out;
    const auto escaped = [&out](std::uint32_t code) {
        constexpr std::string_view HEX = "0123456789ABCDEF";
        out += "\\x";
        out += HEX[(code >> 4) & 0xF];
        out += HEX[code & 0xF];
    };
    if (const auto decoded = decode_utf8(text)) {
        for (const char32_t c : *decoded) {
            if (c < U' ' || c == 0x7F) {
                escaped(c);
            } else {
                char bytes[4];
                out.append(bytes, put_utf8(bytes, c));
            }
        }
        return out;
    }
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        byte >= 0x20 && byte < 0x7F ? void(out += c) : escaped(byte);
    }
    return out;
}

// A number the store keeps as text (the policy file, a REG_SZ typed by hand) is taken
// in plain decimal only.
std::optional<std::uint32_t> decimal(const PolicyValue& value) {
    if (const auto* number = std::get_if<std::uint32_t>(&value)) {
        return *number;
    }
    const auto* text = std::get_if<std::string>(&value);
    if (!text || text->empty()) {
        return std::nullopt;
    }
    std::uint32_t number = 0;
    const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), number);
    if (error != std::errc() || end != text->data() + text->size()) {
        return std::nullopt;
    }
    return number;
}

// Printable ASCII but letters and digits: what every system's password field takes, and
// what the other kinds do not already hold.
bool ascii_symbol(char32_t c) {
    return c > U' ' && c < 0x7F && !letter_or_number(c);
}

// Where, which value, what was read there, and why it is wrong.
std::string problem(const PolicyValues& read, const PolicyValueName& name, const PolicyValue& value) {
    std::string start = read.place + " の " + std::string(name.name) + " が";
    if (const auto* wrong = std::get_if<WrongType>(&value)) {
        start += " " + wrong->type + " の値です: ";
    } else if (const auto* number = std::get_if<std::uint32_t>(&value)) {
        start += " " + std::to_string(*number) + " です: ";
    } else {
        start += "「" + shown(std::get<std::string>(value)) + "」です: ";
    }
    if (name.type == PolicyValueType::text) {
        if (!std::holds_alternative<std::string>(value)) {
            return start + "型が違います（REG_SZ で書きます）";
        }
        return start + "空か、ASCII の記号（英数字と空白を除く ! から ~ まで）以外の文字を含んでいます";
    }
    if (std::holds_alternative<WrongType>(value)) {
        return start + "型が違います（REG_DWORD で書きます）";
    }
    return start + std::to_string(name.least) + " から " + std::to_string(name.most) + " までの数ではありません";
}

bool chosen(const GenerationRequest& request, std::size_t kind) {
    return std::find(request.kinds.begin(), request.kinds.end(), KIND_NAMES[kind]) != request.kinds.end();
}

std::string refused(std::string_view why) {
    return "管理者のポリシーにより、" + std::string(why);
}

// The same symbols in any order, each once.
std::u32string as_set(std::u32string_view symbols) {
    std::u32string set(symbols);
    std::sort(set.begin(), set.end());
    set.erase(std::unique(set.begin(), set.end()), set.end());
    return set;
}

std::string shown_set(std::u32string_view symbols) {
    std::string set;
    for (const char32_t c : symbols) {
        set.push_back(static_cast<char>(c));  // ASCII, as checked
    }
    return set;
}

}  // namespace

PolicyValues parse_policy_file(std::string_view text, std::string place) {
    PolicyValues read;
    read.place = std::move(place);
    // Notepad's "Unicode": every other byte zero, which no line of UTF-8 holds.
    if (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF") || text.find('\0') != std::string_view::npos) {
        read.holds_any = true;
        read.problems.push_back(read.place + " は UTF-16 で書かれています: UTF-8 で保存してください");
        return read;
    }
    if (text.starts_with(UTF8_BOM)) {
        text.remove_prefix(UTF8_BOM.size());
    }
    std::map<std::string_view, int, std::less<>> lines_of;
    int number = 0;
    while (!text.empty()) {
        const auto end = text.find('\n');
        const std::string_view line = trimmed(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++number;
        if (line.empty() || line.front() == '#' || line.front() == ';') {
            continue;
        }
        read.holds_any = true;
        const std::string at = read.place + " の " + std::to_string(number) + " 行目「" + shown(line) + "」: ";
        const auto equals = line.find('=');
        const std::string_view name = trimmed(line.substr(0, equals));
        if (equals == std::string_view::npos) {
            read.problems.push_back(at + "「名前=値」の形ではありません");
            continue;
        }
        if (!known_name(name)) {
            read.problems.push_back(at + "知らない名前です");
            continue;
        }
        if (const auto [earlier, first] = lines_of.try_emplace(name, number); !first) {
            read.problems.push_back(at + std::string(name) + " は " + std::to_string(earlier->second) +
                                    " 行目にもあります: どちらの値か決められません");
            read.values.erase(std::string(name));
            continue;
        }
        std::string_view value = trimmed(line.substr(equals + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            value = value.substr(1, value.size() - 2);
        }
        read.values.emplace(std::string(name), std::string(value));
    }
    return read;
}

PolicyValues policy_of_roots(PolicyValues machine, PolicyValues user) {
    return machine.holds_any || !machine.problems.empty() ? std::move(machine) : std::move(user);
}

bool Policy::empty() const {
    return minimum_length == 0 && minimum_kinds == 0 && exclude_ambiguous == PolicyRule::user && !symbols &&
           problems.empty() &&
           std::all_of(kinds.begin(), kinds.end(), [](PolicyRule rule) { return rule == PolicyRule::user; });
}

Policy make_policy(const PolicyValues& read) {
    Policy policy;
    policy.problems = read.problems;
    for (const PolicyValueName& name : POLICY_VALUE_NAMES) {
        const auto found = read.values.find(name.name);
        if (found == read.values.end()) {
            continue;
        }
        const PolicyValue& value = found->second;
        if (name.type == PolicyValueType::text) {
            const auto* text = std::get_if<std::string>(&value);
            std::optional<std::u32string> symbols = text ? decode_utf8(*text) : std::nullopt;
            if (symbols && !symbols->empty() && std::all_of(symbols->begin(), symbols->end(), ascii_symbol)) {
                policy.symbols = std::move(symbols);
            } else {
                policy.problems.push_back(problem(read, name, value));
            }
            continue;
        }
        const std::optional<std::uint32_t> number = decimal(value);
        if (!number || *number < name.least || *number > name.most) {
            policy.problems.push_back(problem(read, name, value));
            continue;
        }
        const auto rule = *number == 1 ? PolicyRule::always : PolicyRule::never;
        switch (name.id) {
            case PolicyValueId::minimum_length:
                policy.minimum_length = static_cast<int>(*number);
                break;
            case PolicyValueId::minimum_kinds:
                policy.minimum_kinds = static_cast<int>(*number);
                break;
            case PolicyValueId::use_digits:
                policy.kinds[0] = rule;
                break;
            case PolicyValueId::use_lowercase:
                policy.kinds[1] = rule;
                break;
            case PolicyValueId::use_uppercase:
                policy.kinds[2] = rule;
                break;
            case PolicyValueId::use_symbols:
                policy.kinds[3] = rule;
                break;
            case PolicyValueId::exclude_ambiguous:
                policy.exclude_ambiguous = rule;
                break;
            case PolicyValueId::symbol_set:  // a text, taken above
                break;
        }
    }
    const auto allowed = std::count_if(policy.kinds.begin(), policy.kinds.end(),
                                       [](PolicyRule rule) { return rule != PolicyRule::never; });
    if (allowed == 0) {
        policy.problems.push_back(
            read.place + " の UseDigits、UseLowercase、UseUppercase、UseSymbols がすべて 0 で、使える文字がありません");
    } else if (allowed < policy.minimum_kinds) {
        policy.problems.push_back(read.place + " の MinimumKinds が " + std::to_string(policy.minimum_kinds) +
                                  " です: 使える種類の数（" + std::to_string(allowed) + "）を超えています");
    }
    return policy;
}

void bring_inside(const Policy& policy, GenerationRequest& request) {
    request.length = std::max(request.length, policy.minimum_length);
    std::array<bool, 4> on{};
    int count = 0;
    for (std::size_t kind = 0; kind < on.size(); ++kind) {
        on[kind] =
            policy.kinds[kind] == PolicyRule::user ? chosen(request, kind) : policy.kinds[kind] == PolicyRule::always;
        count += on[kind] ? 1 : 0;
    }
    for (std::size_t kind = 0; kind < on.size() && count < policy.minimum_kinds; ++kind) {
        if (!on[kind] && policy.kinds[kind] != PolicyRule::never) {
            on[kind] = true;
            ++count;
        }
    }
    request.kinds.clear();
    for (std::size_t kind = 0; kind < on.size(); ++kind) {
        if (on[kind]) {
            request.kinds.emplace_back(KIND_NAMES[kind]);
        }
    }
    if (policy.exclude_ambiguous != PolicyRule::user) {
        request.exclude_ambiguous = policy.exclude_ambiguous == PolicyRule::always;
    }
    if (policy.symbols) {
        request.symbols = policy.symbols;
    }
}

std::optional<std::string> policy_refusal(const Policy& policy, const GenerationRequest& request) {
    if (!policy.problems.empty()) {
        return "管理者のポリシーに誤りがあるため、生成できません。組織の管理者に知らせてください";
    }
    if (policy.empty()) {
        return std::nullopt;
    }
    if (request.length < policy.minimum_length) {
        return refused("長さは " + std::to_string(policy.minimum_length) + " 文字以上です");
    }
    for (std::size_t kind = 0; kind < KIND_NAMES.size(); ++kind) {
        const std::string word(KIND_WORDS[kind]);
        if (policy.kinds[kind] == PolicyRule::always && !chosen(request, kind)) {
            return refused(word + "を必ず使います");
        }
        if (policy.kinds[kind] == PolicyRule::never && chosen(request, kind)) {
            return refused(word + "は使えません");
        }
    }
    if (static_cast<int>(request.kinds.size()) < policy.minimum_kinds) {
        return refused("文字の種類は " + std::to_string(policy.minimum_kinds) + " 種類以上を使います");
    }
    if (policy.exclude_ambiguous != PolicyRule::user &&
        request.exclude_ambiguous != (policy.exclude_ambiguous == PolicyRule::always)) {
        return refused(request.exclude_ambiguous ? "紛らわしい文字は除けません"
                                                 : "紛らわしい文字 0 1 I O l は必ず除きます");
    }
    if (!chosen(request, 3)) {
        return std::nullopt;
    }
    const std::u32string_view set = request.symbols ? std::u32string_view(*request.symbols) : DEFAULT_SYMBOLS;
    if (policy.symbols && as_set(set) != as_set(*policy.symbols)) {
        return refused("記号は " + shown_set(*policy.symbols) + " に決められています");
    }
    // Every symbol of a fixed set is one: only a set of the user's own can hold others.
    const auto letter = std::find_if(set.begin(), set.end(), letter_or_number);
    if (letter != set.end()) {
        char bytes[4];
        return refused("記号セットに文字や数字は入れられません（「" + std::string(bytes, put_utf8(bytes, *letter)) +
                       "」）");
    }
    return std::nullopt;
}

}  // namespace zelkora
