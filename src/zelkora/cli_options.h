#pragma once
// zelkora-cli's command line: GNU-style options, read the same on every platform. No Qt,
// nothing written: the entry point prints what these return.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "generator.h"
#include "policy.h"

namespace zelkora {

inline constexpr int CLI_LENGTH_MOST = 100'000;

// What is wrong with a command line, in Japanese, as one line without the program's name.
class UsageError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

struct CliOptions {
    enum class Action { generate, help, version };
    Action action = Action::generate;
    // Length, kinds, symbols and exclusion as the window sends them; its count is left
    // at 1, as the engine checks it: how many to write is `count`, which has no bound.
    GenerationRequest request{.length = 16, .kinds = {}, .count = 1, .exclude_ambiguous = false, .symbols = {}};
    std::uint64_t count = 1;
    // Whether the command line chose these, or left them to the defaults.
    bool length_given = false;
    bool kinds_given = false;
    bool show_strength = false;
    std::optional<std::string> output;  // UTF-8, as given
    bool force = false;
    std::string separator = "\n";
};

// The arguments after the program's name, each UTF-8 (on Windows, as converted from the
// wide command line). Throws UsageError for the first thing wrong, in the order given;
// --help and --version take effect where they stand, as GNU programs do.
CliOptions parse_cli_options(const std::vector<std::string>& args);

// The administrators' policy on a command line: what it left to the defaults follows the
// policy, what it chose against the policy is refused, never changed. Returns why, in
// Japanese, or nothing when the request may go ahead.
std::optional<std::string> apply_policy(const Policy& policy, CliOptions& options);

// The text of --help and --version, UTF-8 with "\n" line ends.
std::string cli_help_text();
std::string cli_version_text();

}  // namespace zelkora
