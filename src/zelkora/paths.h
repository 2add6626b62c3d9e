#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <log4cplus/tstring.h>

// Where the program lives on disk, and the process-wide logging set up from there.
//
// Every operation comes twice: the real one, which asks the running process where it
// stands, and one taking a RunContext, which tests fill in themselves, so no file has
// to move on the machine to try another layout. Nothing is cached between calls.
//
// Errors pass through untouched: the operating system's as std::filesystem::
// filesystem_error, a logging configuration that cannot be applied as
// std::runtime_error.
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
    std::filesystem::path executable;                 // the running executable, as the system reports it
    std::filesystem::path unit_file;                  // where the paths unit lies (its directory holds logging.ini)
    std::optional<std::filesystem::path> bundle_dir;  // never present in the real program
};

// The build tree's marker, at the top of every build tree and in no install: its one
// line names the project root, relative to the marker's folder (absolute only where no
// relative path leads there). The program and the tests lie in that folder or one below.
inline constexpr std::string_view SOURCE_TREE_MARKER = "zelkora-source-tree";

// The running executable, with every link resolved. On Windows every folder's name is
// spelt as on disk, and the path has the plain form (C:\... or \\server\share\...)
// wherever one names the file. Works before any application object exists, which the
// logging set-up needs.
std::filesystem::path _executable_path();

// The facts for an executable at this path: source-tree mode exactly when its folder,
// or the one above, holds the build tree's marker.
RunContext _run_context_of(const std::filesystem::path& executable);
RunContext current_run_context();

// The executable's folder, with every link resolved.
std::filesystem::path _executable_dir(const RunContext& context);

// A path as Windows' final-path query gives it (\\?\C:\..., \\?\UNC\server\share\...),
// without the \\?\ prefix wherever the plain form names the same file; any other path
// unchanged. A pure function of its text, so that it can be tried on any platform.
std::wstring _plain_windows_path(std::wstring_view path);

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

// Configures log4cplus's default hierarchy from logging.ini once per process, with
// `log_file` standing for <log_dir>/app.log. Does nothing (and touches no file) when the
// root logger already has an appender. Anything log4cplus reports as an error while
// configuring fails the call, and leaves the hierarchy unconfigured.
//
// log4cplus must be initialised before this is called and stay so while logging is in
// use: the caller holds a log4cplus::Initializer for that whole time. The program's
// entry point (main.cpp) holds it; tests hold their own. This library never creates one,
// because its destruction shuts logging down for the whole process.
AppPaths init_logging(std::optional<AppPaths> paths = {});
AppPaths init_logging(const RunContext& context, std::optional<AppPaths> paths = {});

// The program's text is UTF-8 everywhere; log4cplus's is wide on Windows, where it opens
// its files by wide name (a user folder such as C:\Users\山田 need not exist in the ANSI
// code page). Every text crossing into or out of log4cplus goes through these.
log4cplus::tstring to_log_text(std::string_view utf8);
std::string from_log_text(const log4cplus::tstring& text);

}  // namespace zelkora

template <>
struct std::hash<zelkora::AppPaths> {
    std::size_t operator()(const zelkora::AppPaths& paths) const noexcept;
};
