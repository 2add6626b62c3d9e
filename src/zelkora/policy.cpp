#include "policy.h"

#include <algorithm>
#include <charconv>

#include "utf8.h"

namespace zelkora {

namespace {

constexpr std::array<std::string_view, 4> KIND_NAMES = {"digits", "lower", "upper", "symbols"};
constexpr std::array<std::string_view, 4> KIND_WORDS = {"数字", "英小文字", "英大文字", "記号"};
constexpr std::array<std::string_view, 4> KIND_VALUES = {"UseDigits", "UseLowercase", "UseUppercase", "UseSymbols"};

constexpr std::string_view BLANKS = " \t\r";

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(BLANKS);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(BLANKS) - first + 1);
}

bool known_name(std::string_view name) {
    return std::any_of(POLICY_VALUE_NAMES.begin(), POLICY_VALUE_NAMES.end(),
                       [name](const PolicyValueName& known) { return known.name == name; });
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
    return c > U' ' && c < 0x7F && !(c >= U'0' && c <= U'9') && !(c >= U'A' && c <= U'Z') && !(c >= U'a' && c <= U'z');
}

std::string problem(const PolicyValueName& name, const PolicyValue& value) {
    const std::string start = std::string(name.name) + " ";
    if (const auto* wrong = std::get_if<WrongType>(&value)) {
        return start + "の型が違います（" + wrong->type + "）";
    }
    if (name.text) {
        if (std::holds_alternative<std::uint32_t>(value)) {
            return start + "の型が違います（文字列ではありません）";
        }
        return start + "が空か、ASCII の記号（英数字と空白を除く ! から ~ まで）以外の文字を含んでいます";
    }
    return start + "が " + std::to_string(name.least) + " から " + std::to_string(name.most) +
           " までの数ではありません";
}

bool chosen(const GenerationRequest& request, std::size_t kind) {
    return std::find(request.kinds.begin(), request.kinds.end(), KIND_NAMES[kind]) != request.kinds.end();
}

std::string refused(std::string_view why) {
    return "管理者のポリシーにより、" + std::string(why);
}

}  // namespace

PolicyValues parse_policy_file(std::string_view text) {
    PolicyValues read;
    int number = 0;
    while (!text.empty()) {
        const auto end = text.find('\n');
        const std::string_view line = trimmed(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++number;
        if (line.empty() || line.front() == '#' || line.front() == ';') {
            continue;
        }
        const auto equals = line.find('=');
        const std::string_view name = trimmed(line.substr(0, equals));
        if (equals == std::string_view::npos || !known_name(name)) {
            read.problems.push_back(std::to_string(number) + " 行目が「名前=値」の形でないか、知らない名前です");
            continue;
        }
        read.values.insert_or_assign(std::string(name), std::string(trimmed(line.substr(equals + 1))));
    }
    return read;
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
        if (name.text) {
            const auto* text = std::get_if<std::string>(&value);
            std::optional<std::u32string> symbols = text ? decode_utf8(*text) : std::nullopt;
            if (symbols && !symbols->empty() && std::all_of(symbols->begin(), symbols->end(), ascii_symbol)) {
                policy.symbols = std::move(symbols);
            } else {
                policy.problems.push_back(problem(name, value));
            }
            continue;
        }
        const std::optional<std::uint32_t> number = decimal(value);
        if (!number || *number < name.least || *number > name.most) {
            policy.problems.push_back(problem(name, value));
            continue;
        }
        const auto rule = *number == 1 ? PolicyRule::always : PolicyRule::never;
        if (name.name == "MinimumLength") {
            policy.minimum_length = static_cast<int>(*number);
        } else if (name.name == "MinimumKinds") {
            policy.minimum_kinds = static_cast<int>(*number);
        } else if (name.name == "ExcludeAmbiguous") {
            policy.exclude_ambiguous = rule;
        } else {
            const auto kind = std::find(KIND_VALUES.begin(), KIND_VALUES.end(), name.name) - KIND_VALUES.begin();
            policy.kinds[static_cast<std::size_t>(kind)] = rule;
        }
    }
    const auto allowed = std::count_if(policy.kinds.begin(), policy.kinds.end(),
                                       [](PolicyRule rule) { return rule != PolicyRule::never; });
    if (allowed == 0) {
        policy.problems.push_back(
            "UseDigits、UseLowercase、UseUppercase、UseSymbols がすべて 0 で、使える文字がありません");
    } else if (allowed < policy.minimum_kinds) {
        policy.problems.push_back("MinimumKinds（" + std::to_string(policy.minimum_kinds) + "）が使える種類の数（" +
                                  std::to_string(allowed) + "）を超えています");
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
        return "管理者のポリシーの値が正しくないため、生成できません: " + policy.problems.front();
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
    if (policy.symbols && chosen(request, 3) && request.symbols != policy.symbols) {
        std::string set;
        for (const char32_t c : *policy.symbols) {
            set.push_back(static_cast<char>(c));  // ASCII, as checked
        }
        return refused("記号は " + set + " に決められています");
    }
    return std::nullopt;
}

}  // namespace zelkora
