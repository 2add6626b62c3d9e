#include "paths.h"

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <string>
#include <system_error>
#include <utility>

#include "canonical_path.h"
#include "windows_api.h"

#if defined(_WIN32)
#include <knownfolders.h>
#include <shlobj.h>
#else
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#endif
#if defined(__APPLE__)
#include <mach-o/dyld.h>
#include <cstdint>
#endif

namespace zelkora {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail_with_os_error(const char* what, const fs::path& path, int error) {
    throw fs::filesystem_error(what, path, std::error_code(error != 0 ? error : EIO, std::generic_category()));
}

// The project root that a build tree's marker names, when the executable lies where the
// build puts executables: in the tree's top folder, or in one just below it. No install
// carries the marker, so a copy installed anywhere, into a build tree's folder too, runs
// packaged. A marker that cannot even be looked at counts as none: that is the user's
// case, and the builder's would show at once.
std::optional<fs::path> marked_source_tree(const fs::path& exe_dir) {
    for (const fs::path& dir : {exe_dir, exe_dir.parent_path()}) {
        const fs::path marker = dir / SOURCE_TREE_MARKER;
        std::error_code unreadable;
        if (!fs::is_regular_file(marker, unreadable))
            continue;
        errno = 0;
        std::ifstream in(marker, std::ios::binary);
        std::string line;
        if (!std::getline(in, line))
            fail_with_os_error("cannot read the build tree's marker", marker, errno);
        if (line.ends_with('\r'))
            line.pop_back();
        return dir / fs::path(std::u8string(line.begin(), line.end()));
    }
    return std::nullopt;
}

// The home folder as the user's session names it, or as the user database does when the
// session names none (a service, `env -i`).
#if !defined(_WIN32)
fs::path home_dir() {
    if (const char* home = std::getenv("HOME"); home != nullptr && fs::path(home).is_absolute())
        return home;
    std::string buffer(16384, '\0');
    struct passwd entry {};
    struct passwd* found = nullptr;
    const int error = getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found);
    if (found == nullptr || entry.pw_dir == nullptr || entry.pw_dir[0] != '/')
        fail_with_os_error("cannot find the user's home folder", fs::path(), error != 0 ? error : ENOENT);
    return entry.pw_dir;
}
#endif

}  // namespace

fs::path _user_state_dir() {
#if defined(_WIN32)
    PWSTR folder = nullptr;
    const HRESULT result = SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_DEFAULT, nullptr, &folder);
    if (FAILED(result)) {
        CoTaskMemFree(folder);
        throw fs::filesystem_error("cannot find the user's local application data folder",
                                   std::error_code(static_cast<int>(result), std::system_category()));
    }
    fs::path path(folder);
    CoTaskMemFree(folder);
    return path;
#else
    // Relative values are to be ignored, as the base directory rules say.
    if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && fs::path(state).is_absolute())
        return state;
    return home_dir() / ".local" / "state";
#endif
}

AppPaths::AppPaths(fs::path app_dir_, fs::path log_dir_) : app_dir(std::move(app_dir_)), log_dir(std::move(log_dir_)) {}

fs::path _executable_path() {
#if defined(_WIN32)
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), size);
        if (length == 0) {
            throw fs::filesystem_error("cannot find the running executable",
                                       std::error_code(static_cast<int>(GetLastError()), std::system_category()));
        }
        if (length < size) {
            // The path it was started by: \\server\share\... or \\?\... as often as C:\...,
            // and each name in whatever letter case was typed.
            buffer.resize(length);
            return resolved_path(fs::path(buffer));
        }
        buffer.resize(buffer.size() * 2);  // truncated: try again with room to spare
    }
#elif defined(__APPLE__)
    std::uint32_t size = 0;
    _NSGetExecutablePath(nullptr, &size);
    std::string buffer(size, '\0');
    if (_NSGetExecutablePath(buffer.data(), &size) != 0) {
        throw fs::filesystem_error("cannot find the running executable",
                                   std::make_error_code(std::errc::filename_too_long));
    }
    buffer.resize(buffer.find('\0'));
    return fs::path(buffer);
#else
    return fs::read_symlink("/proc/self/exe");
#endif
}

// Run mode: source-tree mode when the executable lies in the build tree (its marker
// says so and names the sources that build came from, logging.ini in src/zelkora among
// them). Any other executable is an installed copy and runs in packaged mode from the
// zelkora/ folder beside it, whether or not a source tree exists anywhere.
RunContext _run_context_of(const fs::path& executable) {
    RunContext context;
    context.executable = executable;
    const auto exe_dir = resolved_path(executable).parent_path();
    if (const auto root = marked_source_tree(exe_dir)) {
        context.zelkora_dir = *root / "src" / "zelkora";
    } else {
        context.packaged = true;
        context.zelkora_dir = exe_dir / "zelkora";
        std::error_code unreadable;
        if (fs::is_regular_file(context.zelkora_dir / ALL_USERS_MARKER, unreadable))
            context.user_state_dir = _user_state_dir();
    }
    return context;
}

RunContext current_run_context() {
    return _run_context_of(_executable_path());
}

fs::path _executable_dir(const RunContext& context) {
    return resolved_path(context.executable).parent_path();
}

fs::path _resolve_app_dir() {
    return _resolve_app_dir(current_run_context());
}

fs::path _resolve_app_dir(const RunContext& context) {
    if (context.packaged) {
        auto dir = _executable_dir(context);
        // An installer that puts the executable in an "app" folder keeps the log beside
        // that folder, not inside it. Exact case on purpose.
        if (dir.filename() == "app")
            return dir.parent_path();
        return dir;
    }
    // <root>/src/zelkora: src, then the project root.
    return resolved_path(context.zelkora_dir).parent_path().parent_path();
}

AppPaths get_app_paths() {
    return get_app_paths(current_run_context());
}

AppPaths get_app_paths(const RunContext& context) {
    auto app_dir = _resolve_app_dir(context);
    auto log_dir = context.packaged && context.user_state_dir
                       ? *context.user_state_dir / "orvanel-works" / "zelkora-desk" / "log"
                       : app_dir / "log";
    return AppPaths(std::move(app_dir), std::move(log_dir));
}

AppPaths ensure_runtime_dirs(std::optional<AppPaths> paths) {
    return ensure_runtime_dirs(current_run_context(), std::move(paths));
}

AppPaths ensure_runtime_dirs(const RunContext& context, std::optional<AppPaths> paths) {
    const AppPaths used = paths ? *paths : get_app_paths(context);

    // create_directories reports a plain file in the way as "not a directory"; say what
    // actually happened.
    if (fs::exists(used.log_dir) && !fs::is_directory(used.log_dir)) {
        throw fs::filesystem_error("cannot create the log directory", used.log_dir,
                                   std::make_error_code(std::errc::file_exists));
    }
    fs::create_directories(used.log_dir);

    const auto probe = used.log_dir / ".write_test";
    {
        errno = 0;
        std::ofstream out(probe, std::ios::binary | std::ios::trunc);
        if (!out)
            fail_with_os_error("cannot create the probe file", probe, errno);
        out << "ok";
        out.close();
        if (!out)
            fail_with_os_error("cannot write the probe file", probe, errno);
    }
    fs::remove(probe);  // false, not an error, when something already took it away
    return used;
}

std::vector<fs::path> get_resource_bases() {
    return get_resource_bases(current_run_context());
}

std::vector<fs::path> get_resource_bases(const RunContext& context) {
    std::vector<fs::path> bases;
    if (context.bundle_dir)
        bases.push_back(*context.bundle_dir);
    if (context.packaged) {
        const auto exe_dir = _executable_dir(context);
        bases.push_back(exe_dir);
        bases.push_back(exe_dir / "src");
        auto app_dir = _resolve_app_dir(context);
        const bool listed =
            std::any_of(bases.begin(), bases.end(), [&](const fs::path& base) { return same_path(base, app_dir); });
        if (!listed)
            bases.push_back(std::move(app_dir));
    } else {
        auto app_dir = _resolve_app_dir(context);
        bases.push_back(app_dir);
        bases.push_back(app_dir / "app");
    }
    return bases;
}

fs::path _resolve_logging_config_path() {
    return _resolve_logging_config_path(current_run_context());
}

fs::path _resolve_logging_config_path(const RunContext& context) {
    return resolved_path(context.zelkora_dir) / "logging.ini";
}

}  // namespace zelkora

std::size_t std::hash<zelkora::AppPaths>::operator()(const zelkora::AppPaths& paths) const noexcept {
    const std::size_t app = std::filesystem::hash_value(paths.app_dir);
    const std::size_t log = std::filesystem::hash_value(paths.log_dir);
    return app ^ (log + 0x9e3779b9 + (app << 6) + (app >> 2));
}
