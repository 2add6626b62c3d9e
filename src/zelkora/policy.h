#pragma once
// An organisation's password rules, set by its administrators for everyone: the values
// as the system's policy store holds them, what they allow, and bringing options inside
// them. No Qt, and nothing read here: policy_store reads the values.

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "generator.h"

namespace zelkora {

// Where administrators put the values: below HKEY_LOCAL_MACHINE, which wins, and
// HKEY_CURRENT_USER on Windows, which only administrators may write there; elsewhere a
// file in the system's configuration, never one a user can name.
inline constexpr std::string_view POLICY_KEY = "Software\\Policies\\orvanel-works\\zelkora-desk";
inline constexpr std::string_view POLICY_FILE = "/etc/xdg/orvanel-works/zelkora-desk-policy.conf";

// The longest password the window makes, and so the highest minimum a policy may set.
inline constexpr std::uint32_t POLICY_LENGTH_MOST = 1024;

// Every value the program reads, as the templates define it: a number within
// [least, most] (a REG_DWORD; an on/off value is 1 or 0), or a text (REG_SZ).
struct PolicyValueName {
    std::string_view name;
    bool text;
    std::uint32_t least;
    std::uint32_t most;
};
inline constexpr std::array<PolicyValueName, 8> POLICY_VALUE_NAMES = {{
    {"MinimumLength", false, 1, POLICY_LENGTH_MOST},
    {"MinimumKinds", false, 1, 4},
    {"UseDigits", false, 0, 1},
    {"UseLowercase", false, 0, 1},
    {"UseUppercase", false, 0, 1},
    {"UseSymbols", false, 0, 1},
    {"ExcludeAmbiguous", false, 0, 1},
    {"SymbolSet", true, 0, 0},
}};

// A value the store holds in a type the program does not take, named as the store names it.
struct WrongType {
    std::string type;
};
// A number (REG_DWORD), or text in UTF-8: the policy file's values are all text.
using PolicyValue = std::variant<std::uint32_t, std::string, WrongType>;

struct PolicyValues {
    std::map<std::string, PolicyValue, std::less<>> values;
    // What could not be read at all, in Japanese.
    std::vector<std::string> problems;
};

// The values of a policy file: "Name=value" lines, blank lines and comments (# or ;).
// The value is the rest of the line as it is, so a symbol set needs no quoting.
PolicyValues parse_policy_file(std::string_view text);

// How a policy treats a check box: left to the user, or ticked or unticked for good.
enum class PolicyRule { user, always, never };

struct Policy {
    int minimum_length = 0;
    int minimum_kinds = 0;
    // In the kinds' order: digits, lower, upper, symbols.
    std::array<PolicyRule, 4> kinds{};
    PolicyRule exclude_ambiguous = PolicyRule::user;
    std::optional<std::u32string> symbols;
    // Values that are wrong, in Japanese: while there is one, nothing is generated, as
    // no one can tell what the administrators meant.
    std::vector<std::string> problems;

    // Whether administrators set nothing at all: then nothing differs from a program
    // without policies.
    bool empty() const;
};

Policy make_policy(const PolicyValues& read);

// The options nearest `request` that the policy allows: the length raised to the
// minimum, the kinds ticked or unticked as it says (then more, in the kinds' order, up
// to its minimum number), the exclusion and the symbol set as it fixes them.
void bring_inside(const Policy& policy, GenerationRequest& request);

// Why the policy does not allow `request`, in Japanese; nothing when it does.
std::optional<std::string> policy_refusal(const Policy& policy, const GenerationRequest& request);

}  // namespace zelkora
