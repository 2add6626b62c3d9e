#include "logging.h"

#include <log4cplus/configurator.h>
#include <log4cplus/helpers/loglog.h>
#include <log4cplus/helpers/property.h>
#include <log4cplus/hierarchy.h>
#include <log4cplus/logger.h>
#include <log4cplus/loggingmacros.h>
#include <log4cplus/loglevel.h>
#include <log4cplus/streams.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <locale>
#include <sstream>
#include <stdexcept>
#include <type_traits>
#include <utility>
#include <vector>

#if defined(_WIN32) && defined(UNICODE)
#include <codecvt>
#endif

#include "windows_api.h"

namespace zelkora {

namespace fs = std::filesystem;

namespace {

// UTF-8 whatever the platform: string() would go through the Windows code page.
std::string text_of(const fs::path& path) {
    const auto text = path.u8string();
    return std::string(text.begin(), text.end());
}

// log4cplus reports configuration trouble only as text on its internal error stream,
// never by return value or exception. Collecting that text while configuring is the
// one way to learn that an appender could not open its file.
class LogLogCapture {
public:
    LogLogCapture() : previous_(log4cplus::tcerr.rdbuf(captured_.rdbuf())) {}
    ~LogLogCapture() { release(); }
    LogLogCapture(const LogLogCapture&) = delete;
    LogLogCapture& operator=(const LogLogCapture&) = delete;

    log4cplus::tstring release() {
        if (previous_ != nullptr) {
            log4cplus::tcerr.rdbuf(previous_);
            previous_ = nullptr;
        }
        return captured_.str();
    }

private:
    log4cplus::tostringstream captured_;
    std::basic_streambuf<log4cplus::tchar>* previous_;
};

std::vector<log4cplus::tstring> reported_errors(const log4cplus::tstring& report) {
    static const log4cplus::tstring error_prefix = LOG4CPLUS_TEXT("log4cplus:ERROR ");
    std::vector<log4cplus::tstring> errors;
    log4cplus::tistringstream lines(report);
    for (log4cplus::tstring line; std::getline(lines, line);) {
        if (line.starts_with(error_prefix))
            errors.push_back(line.substr(error_prefix.size()));
    }
    return errors;
}

std::string read_logging_config(const fs::path& config) {
    std::error_code status_error;
    const auto status = fs::status(config, status_error);
    if (status.type() == fs::file_type::not_found) {
        throw std::runtime_error("logging configuration not found: " + text_of(config));
    }
    if (status_error) {
        throw std::runtime_error("logging configuration cannot be read: " + text_of(config) + ": " +
                                 status_error.message());
    }
    // A stream would open a directory without complaint and read nothing from it.
    if (!fs::is_regular_file(status)) {
        throw std::runtime_error("logging configuration is not a regular file: " + text_of(config));
    }
    std::ifstream in(config, std::ios::binary);
    if (!in)
        throw std::runtime_error("logging configuration cannot be read: " + text_of(config));
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad())
        throw std::runtime_error("logging configuration cannot be read: " + text_of(config));
    return text;
}

[[noreturn]] void fail_configuration(const fs::path& config, const std::string& reason) {
    log4cplus::Logger::getDefaultHierarchy().resetConfiguration();
    throw std::runtime_error("logging configuration cannot be applied: " + text_of(config) + ": " + reason);
}

// The configuration sees forward slashes, which Windows accepts as well, so it never
// has to care about backslash escapes. Only where a backslash is a separator, though:
// elsewhere it is an ordinary character of a file name, and turning it into a
// separator would send the log somewhere else.
log4cplus::tstring log_file_setting(const fs::path& log_dir) {
    auto log_file = (log_dir / "app.log").string<log4cplus::tchar>();
    if constexpr (fs::path::preferred_separator == '\\') {
        std::replace(log_file.begin(), log_file.end(), LOG4CPLUS_TEXT('\\'), LOG4CPLUS_TEXT('/'));
    }
    return log_file;
}

// Asynchronous appending needs log4cplus's thread pool, which the Windows build leaves
// out: its workers, still ending when main returns, can leave Windows' exit waiting for
// ever. Everywhere alike, then, an appender asked to append asynchronously appends as
// records come, and the keys that asked are returned to be named in the log.
std::vector<log4cplus::tstring> refuse_asynchronous_appending(log4cplus::helpers::Properties& properties) {
    static const log4cplus::tstring prefix = LOG4CPLUS_TEXT("log4cplus.appender.");
    static const log4cplus::tstring suffix = LOG4CPLUS_TEXT(".AsyncAppend");
    std::vector<log4cplus::tstring> refused;
    for (const auto& key : properties.propertyNames()) {
        bool asked = false;
        if (key.starts_with(prefix) && key.ends_with(suffix) && properties.getBool(asked, key) && asked) {
            properties.setProperty(key, LOG4CPLUS_TEXT("false"));
            refused.push_back(key);
        }
    }
    return refused;
}

// Applies the configuration, or fails with every error log4cplus reported meanwhile.
void configure(const fs::path& config, const log4cplus::helpers::Properties& properties) {
    log4cplus::tstring report;
    {
        LogLogCapture capture;
        // Without fShadowEnvironment, ${log_file} would be looked up in the environment only.
        log4cplus::PropertyConfigurator configurator(properties, log4cplus::Logger::getDefaultHierarchy(),
                                                     log4cplus::PropertyConfigurator::fShadowEnvironment);
        try {
            configurator.configure();
        } catch (const std::exception& error) {
            capture.release();
            fail_configuration(config, error.what());
        }
        report = capture.release();
    }

    const auto errors = reported_errors(report);
    if (!errors.empty()) {
        std::string reason;
        for (const auto& error : errors) {
            if (!reason.empty())
                reason += "; ";
            reason += from_log_text(error);
        }
        fail_configuration(config, reason);
    }
    // Warnings are no failure, but they were meant to be seen.
    if (!report.empty())
        log4cplus::tcerr << report << std::flush;
}

}  // namespace

AppPaths init_logging(std::optional<AppPaths> paths) {
    return init_logging(current_run_context(), std::move(paths));
}

AppPaths init_logging(const RunContext& context, std::optional<AppPaths> paths) {
    auto root = log4cplus::Logger::getRoot();
    if (!root.getAllAppenders().empty())
        return paths ? *paths : get_app_paths(context);

    const AppPaths used = paths ? *paths : get_app_paths(context);
    ensure_runtime_dirs(context, used);
    const auto config = _resolve_logging_config_path(context);

#if defined(_WIN32) && defined(UNICODE)
    // log4cplus's file streams are wide and take the global locale: with the classic one
    // the first character outside ASCII (a Japanese folder name in a log line) fails the
    // stream, and every later line is lost. The log file is UTF-8 on every platform.
    std::locale::global(std::locale(std::locale(), new std::codecvt_utf8_utf16<wchar_t>));
#endif
    log4cplus::tistringstream source(to_log_text(read_logging_config(config)));
    log4cplus::helpers::Properties properties(source);
    properties.setProperty(LOG4CPLUS_TEXT("log_file"), log_file_setting(used.log_dir));
    // Quiet mode would silence the very reports that tell a failed configuration apart;
    // the file may not switch it on for the duration of the configure either.
    properties.setProperty(LOG4CPLUS_TEXT("log4cplus.quietMode"), LOG4CPLUS_TEXT("false"));
    log4cplus::helpers::getLogLog().setQuietMode(false);
    const auto refused = refuse_asynchronous_appending(properties);
    configure(config, properties);

    if (root.getAllAppenders().empty())
        fail_configuration(config, "the root logger has no appender");
    // An unset root level configures silently, then makes every logging call throw.
    if (root.getLogLevel() == log4cplus::NOT_SET_LOG_LEVEL)
        fail_configuration(config, "the root logger has no level");
    const auto logger = log4cplus::Logger::getInstance(LOG4CPLUS_TEXT("zelkora.logging"));
    for (const auto& key : refused) {
        LOG4CPLUS_WARN(logger, to_log_text(text_of(config) + ": " + from_log_text(key) +
                                           " is not supported; that appender writes each record as it comes"));
    }
    return used;
}

#if defined(_WIN32) && defined(UNICODE)
static_assert(std::is_same_v<log4cplus::tchar, wchar_t>);

log4cplus::tstring to_log_text(std::string_view utf8) {
    if (utf8.empty())
        return {};
    const int size = static_cast<int>(utf8.size());
    const int wide_size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(wide_size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), wide_size);
    return wide;
}

std::string from_log_text(const log4cplus::tstring& text) {
    if (text.empty())
        return {};
    const int size = static_cast<int>(text.size());
    const int utf8_size = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(utf8_size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), size, utf8.data(), utf8_size, nullptr, nullptr);
    return utf8;
}
#else
static_assert(std::is_same_v<log4cplus::tchar, char>, "a wide log4cplus is only expected on Windows");

log4cplus::tstring to_log_text(std::string_view utf8) {
    return log4cplus::tstring(utf8);
}

std::string from_log_text(const log4cplus::tstring& text) {
    return text;
}
#endif

}  // namespace zelkora
