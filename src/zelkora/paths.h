#pragma once

#include <filesystem>
#include <functional>
#include <optional>
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
// The real program builds one with current_run_context(); tests build their own, so
// no file has to move on the machine to try another layout.
struct RunContext {
    bool packaged = false;
    std::filesystem::path executable;   // the running executable, as the system reports it
    std::filesystem::path unit_file;    // where the paths unit lies (its directory holds logging.ini)
    std::optional<std::filesystem::path> bundle_dir;  // never present in the real program
};

RunContext current_run_context();

std::filesystem::path _resolve_app_dir();
std::filesystem::path _resolve_app_dir(const RunContext& context);

AppPaths get_app_paths();
AppPaths get_app_paths(const RunContext& context);

AppPaths ensure_runtime_dirs(std::optional<AppPaths> paths = {});
AppPaths ensure_runtime_dirs(const RunContext& context, std::optional<AppPaths> paths = {});

std::vector<std::filesystem::path> get_resource_bases();
std::vector<std::filesystem::path> get_resource_bases(const RunContext& context);

std::filesystem::path _resolve_logging_config_path();
std::filesystem::path _resolve_logging_config_path(const RunContext& context);

AppPaths init_logging(std::optional<AppPaths> paths = {});
AppPaths init_logging(const RunContext& context, std::optional<AppPaths> paths = {});

}  // namespace zelkora

template <>
struct std::hash<zelkora::AppPaths> {
    std::size_t operator()(const zelkora::AppPaths& paths) const noexcept;
};
