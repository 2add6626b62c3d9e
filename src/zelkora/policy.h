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

// How the templates write a value: a number within [least, most] (a REG_DWORD), an on/off
// value (a REG_DWORD of 1 or 0), or a text (a REG_SZ of at most `most` characters).
enum class PolicyValueType { number, on_off, text };
// Each value's own name in the code, which the reading switches on.
enum class PolicyValueId;

// Where administrators put the values, and every value the program reads, made at build
// time from packaging/policy/policy_values.json as the templates and the docs are:
// POLICY_KEY below HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER on Windows (only administrators
// may write either), elsewhere POLICY_FILE in the system's configuration, never a file a
// user can name; PolicyValueId, and POLICY_VALUE_NAMES in its order.
struct PolicyValueName {
    PolicyValueId id;
    std::string_view name;
    PolicyValueType type;
    std::uint32_t least;
    std::uint32_t most;
};
#include "policy_values.h"
// A value the store holds in a type the program does not take, named as the store names it.
struct WrongType {
    std::string type;
};
// A number (REG_DWORD), or text in UTF-8: the policy file's values are all text.
using PolicyValue = std::variant<std::uint32_t, std::string, WrongType>;

struct PolicyValues {
    // The file or the registry key the values are from, as every message names it.
    std::string place;
    std::map<std::string, PolicyValue, std::less<>> values;
    // What could not be read at all, in Japanese, each naming the place.
    std::vector<std::string> problems;
    // Whether the place holds anything, even values the program does not read or could
    // not: a registry root that does is the whole policy.
    bool holds_any = false;
};

// The values of a policy file's text: "Name=value" lines, blank lines and comments (# or
// ;), after a UTF-8 byte order mark if there is one. The value is the rest of the line,
// without its blanks and, as INI readers take it, without double quotes around it all, so
// a symbol set needs no quoting and a quoted one is the same. A name given twice, a line
// of another form, an unknown name and text in UTF-16 are problems, each one named.
PolicyValues parse_policy_file(std::string_view text, std::string place);

// Windows' two roots as one policy: the computer's alone if its key holds anything, else
// the user's. Never a mix, in which the user's rule could be weakened by the computer's,
// or the two could contradict each other.
PolicyValues policy_of_roots(PolicyValues machine, PolicyValues user);

// How a policy treats a check box: left to the user, or ticked or unticked for good.
enum class PolicyRule { user, always, never };

struct Policy {
    int minimum_length = 0;
    int minimum_kinds = 0;
    // In the kinds' order: digits, lower, upper, symbols.
    std::array<PolicyRule, 4> kinds{};
    PolicyRule exclude_ambiguous = PolicyRule::user;
    std::optional<std::u32string> symbols;
    // Values that are wrong, in Japanese, each naming the place, the value read and why:
    // while there is one, nothing is generated, as no one can tell what the
    // administrators meant.
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

// Why the policy does not allow `request`, in Japanese; nothing when it does. Under any
// policy, a symbol set may hold no letter and no digit of any script: they would pass by
// the rules on kinds. A set the policy fixes is matched as a set, in any order.
std::optional<std::string> policy_refusal(const Policy& policy, const GenerationRequest& request);

}  // namespace zelkora
