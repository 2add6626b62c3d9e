#include "resource_lookup.h"

#include <log4cplus/logger.h>
#include <log4cplus/loggingmacros.h>

#include <system_error>
#include <vector>

#include "logging.h"

namespace zelkora {

namespace {

std::filesystem::path utf8_path(std::string_view text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

bool starts_with(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

std::string replace_all(std::string text, std::string_view from, std::string_view to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// The spellings tried in each base, in order: the path as written, without its leading
// src/, and with every src/resources/ as zelkora/resources/, where an install keeps them.
std::vector<std::string> resource_candidates(std::string_view relative_path) {
    std::vector<std::string> candidates{std::string(relative_path)};
    if (starts_with(relative_path, "src/"))
        candidates.emplace_back(relative_path.substr(4));
    if (starts_with(relative_path, "src/resources/"))
        candidates.push_back(replace_all(std::string(relative_path), "src/resources/", "zelkora/resources/"));
    return candidates;
}

std::filesystem::path join(const std::filesystem::path& base, const std::string& candidate) {
    return candidate.empty() ? base : base / utf8_path(candidate);
}

}  // namespace

log4cplus::Logger& main_window_logger() {
    static log4cplus::Logger logger = log4cplus::Logger::getInstance(LOG4CPLUS_TEXT("zelkora.main_window"));
    return logger;
}

std::string native_text(const std::filesystem::path& path) {
    const std::u8string text = std::filesystem::path(path).make_preferred().u8string();
    return std::string(text.begin(), text.end());
}

std::filesystem::path resource_path(std::string_view relative_path) {
    return resource_path(relative_path, current_run_context());
}

std::filesystem::path resource_path(std::string_view relative_path, const RunContext& context) {
    const std::vector<std::filesystem::path> bases = get_resource_bases(context);
    const std::vector<std::string> candidates = resource_candidates(relative_path);

    std::string bases_text;
    for (const auto& base : bases)
        bases_text += (bases_text.empty() ? "" : ", ") + native_text(base);
    std::string candidates_text;
    for (const auto& candidate : candidates)
        candidates_text += (candidates_text.empty() ? "'" : ", '") + candidate + "'";

    log4cplus::Logger& logger = main_window_logger();
    LOG4CPLUS_INFO(logger, to_log_text(std::string("[resource_path] frozen=") + (context.packaged ? "True" : "False")));
    LOG4CPLUS_INFO(logger, to_log_text("[resource_path] bases=[" + bases_text + "]"));
    LOG4CPLUS_INFO(logger, to_log_text("[resource_path] candidates=[" + candidates_text + "]"));

    for (const auto& base : bases) {
        for (const auto& candidate : candidates) {
            const std::filesystem::path path = join(base, candidate);
            std::error_code error;
            if (std::filesystem::exists(path, error)) {
                LOG4CPLUS_INFO(logger, to_log_text("[resource_path] hit=" + native_text(path)));
                return path;
            }
        }
    }
    LOG4CPLUS_INFO(logger, LOG4CPLUS_TEXT("[resource_path] miss"));
    return join(bases.front(), candidates.front());
}

}  // namespace zelkora
