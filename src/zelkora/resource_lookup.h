#pragma once
// Where a resource file of the program is found: each resource base of the run mode in
// turn, tried with every spelling the path may have there, and every step logged. File
// system work only, no widgets.

#include <filesystem>
#include <string>
#include <string_view>

#include "paths.h"

namespace log4cplus {
class Logger;
}

namespace zelkora {

// The first existing spelling of a project-relative resource path under the resource
// bases, or, when none exists, the path under the first base. Logs every step.
std::filesystem::path resource_path(std::string_view relative_path);
std::filesystem::path resource_path(std::string_view relative_path, const RunContext& context);

// The logger the lookup writes to: "zelkora.main_window", the window unit's, which the
// window unit's set-up obtains once (initialize_main_window_unit).
log4cplus::Logger& main_window_logger();

// The path as the platform writes it, in UTF-8: what messages and log lines show.
std::string native_text(const std::filesystem::path& path);

}  // namespace zelkora
