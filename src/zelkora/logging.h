#pragma once
// The process-wide logging: log4cplus's default hierarchy configured once from
// logging.ini (which lies beside this file), and the text that crosses into log4cplus.

#include <optional>
#include <string>
#include <string_view>

#include <log4cplus/tstring.h>

#include "paths.h"

namespace zelkora {

// Configures log4cplus's default hierarchy from logging.ini once per process, with
// `log_file` standing for <log_dir>/app.log. Does nothing (and touches no file) when the
// root logger already has an appender. Anything log4cplus reports as an error while
// configuring fails the call, and leaves the hierarchy unconfigured. A configuration
// that cannot be applied is thrown as std::runtime_error, the operating system's errors
// as std::filesystem::filesystem_error.
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
