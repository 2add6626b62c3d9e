#pragma once
// Where the program lives on disk: its run mode (from the build tree or installed), its
// application and log directories, and the folders its resource files are looked for in.
//
// Every operation comes twice: the real one, which asks the running process where it
// stands, and one taking a RunContext, which tests fill in themselves, so no file has
// to move on the machine to try another layout. Nothing is cached between calls.
// The operating system's errors pass through untouched, as std::filesystem::
// filesystem_error.

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

namespace zelkora {

// Where the program lives on disk. Immutable: both fields are set once, when built.
struct AppPaths {
    AppPaths(std::filesystem::path app_dir, std::filesystem::path log_dir);

    const std::filesystem::path app_dir;
    const std::filesystem::path log_dir;

    bool operator==(const AppPaths&) const = default;
};

// The facts about this process from which the run mode and every directory derive.
struct RunContext {
    bool packaged = false;
    std::filesystem::path executable;  // the running executable, as the system reports it
    // The program's zelkora/ folder, which holds logging.ini: src/zelkora in the sources
    // the build tree names, the one beside the executable in an install.
    std::filesystem::path zelkora_dir;
    std::optional<std::filesystem::path> bundle_dir;  // never present in the real program
    // Only in an install made for every user of the machine (under Program Files or
    // /usr), which its users cannot write: the running user's own folder for state
    // (_user_state_dir), where the log goes instead of beside app\.
    std::optional<std::filesystem::path> user_state_dir;
};

// The build tree's marker, at the top of every build tree and in no install: its one
// line names the project root, relative to the marker's folder (absolute only where no
// relative path leads there). The program and the tests lie in that folder or one below.
inline constexpr std::string_view SOURCE_TREE_MARKER = "zelkora-source-tree";

// The marker an install made for every user carries in its zelkora/ folder, put there by
// the per-machine MSI and the system's package and by nothing else: the program never
// guesses from a folder it cannot write, so a copy that fails its probe fails as before.
inline constexpr std::string_view ALL_USERS_MARKER = "all-users";

// Where per-user state lives for the running user: %LOCALAPPDATA% (the known folder, not
// the variable) on Windows; elsewhere $XDG_STATE_HOME when it is absolute, else
// ~/.local/state, the home from $HOME or, without it, the user database.
std::filesystem::path _user_state_dir();

// The running executable, with every link resolved. On Windows every folder's name is
// spelt as on disk, and the path has the plain form (C:\... or \\server\share\...)
// wherever one names the file. Works before any application object exists, which the
// logging set-up needs.
std::filesystem::path _executable_path();

// The facts for an executable at this path: source-tree mode exactly when its folder,
// or the one above, holds the build tree's marker; a packaged copy whose zelkora/ folder
// holds ALL_USERS_MARKER logs under _user_state_dir().
RunContext _run_context_of(const std::filesystem::path& executable);
RunContext current_run_context();

// The executable's folder, with every link resolved.
std::filesystem::path _executable_dir(const RunContext& context);

std::filesystem::path _resolve_app_dir();
std::filesystem::path _resolve_app_dir(const RunContext& context);

// Touches nothing on disk.
AppPaths get_app_paths();
AppPaths get_app_paths(const RunContext& context);

// Creates the log directory and proves it writable with a probe file, which it removes
// again. Returns the record it used: the given one, or a fresh one from get_app_paths.
AppPaths ensure_runtime_dirs(std::optional<AppPaths> paths = {});
AppPaths ensure_runtime_dirs(const RunContext& context, std::optional<AppPaths> paths = {});

// Where resource files are searched, in order. May hold the same directory twice.
std::vector<std::filesystem::path> get_resource_bases();
std::vector<std::filesystem::path> get_resource_bases(const RunContext& context);

std::filesystem::path _resolve_logging_config_path();
std::filesystem::path _resolve_logging_config_path(const RunContext& context);

}  // namespace zelkora

template <>
struct std::hash<zelkora::AppPaths> {
    std::size_t operator()(const zelkora::AppPaths& paths) const noexcept;
};
