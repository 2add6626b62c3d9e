#include "paths.h"

#include <log4cplus/configurator.h>
#include <log4cplus/helpers/loglog.h>
#include <log4cplus/helpers/property.h>
#include <log4cplus/hierarchy.h>
#include <log4cplus/logger.h>
#include <log4cplus/loglevel.h>
#include <log4cplus/streams.h>
#include <log4cplus/tstring.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <iterator>
#include <locale>
#include <sstream>
#include <stdexcept>
#include <string>
#include <system_error>
#include <type_traits>
#include <utility>

#if defined(_WIN32) && defined(UNICODE)
#include <codecvt>
#endif

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#elif defined(__APPLE__)
#include <mach-o/dyld.h>
#include <cstdint>
#endif

namespace zelkora {

namespace fs = std::filesystem;

namespace {

// A path as the sequence of its names, ignoring what does not change which file it
// names lexically: repeated or trailing separators and "." steps. ".." is kept, since
// undoing it would be wrong across a symbolic link.
std::vector<fs::path> names_of(const fs::path& path) {
    std::vector<fs::path> names;
    for (const auto& name : path) {
        if (!name.empty() && name != ".")
            names.push_back(name);
    }
    return names;
}

bool same_name(const fs::path& a, const fs::path& b) {
#if defined(_WIN32)
    // Windows file systems treat names that differ only in letter case as one.
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
#else
    return a == b;
#endif
}

bool same_path(const fs::path& a, const fs::path& b) {
    const auto a_names = names_of(a);
    const auto b_names = names_of(b);
    return std::equal(a_names.begin(), a_names.end(), b_names.begin(), b_names.end(), same_name);
}

#if defined(_WIN32)
// Windows' own answer for an existing file or folder: every link resolved, every name
// spelt as on disk. None when it cannot be opened.
std::optional<fs::path> final_path(const fs::path& path) {
    const HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::nullopt;
    std::wstring buffer(MAX_PATH, L'\0');
    DWORD length = 0;
    for (;;) {
        length = GetFinalPathNameByHandleW(file, buffer.data(), static_cast<DWORD>(buffer.size()),
                                           FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length < buffer.size())
            break;
        buffer.resize(length);  // too short: length is the size it needs
    }
    CloseHandle(file);
    if (length == 0)
        return std::nullopt;
    buffer.resize(length);
    return fs::path(_plain_windows_path(buffer));
}

// Absolute, with "." and ".." taken out as Windows takes them out. libstdc++'s
// absolute() counts \\server\share\... as relative and puts the current drive in front.
fs::path full_path(const fs::path& path) {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
        if (length == 0) {
            throw fs::filesystem_error("cannot make the path absolute", path,
                                       std::error_code(static_cast<int>(GetLastError()), std::system_category()));
        }
        if (length < buffer.size()) {
            buffer.resize(length);
            return fs::path(buffer);
        }
        buffer.resize(length);
    }
}

// weakly_canonical as Windows has it: libstdc++'s turns \\server\share\... into a folder
// on the current drive, and fails on \\?\... altogether.
fs::path resolved(const fs::path& path) {
    fs::path existing = full_path(path);
    fs::path rest;
    for (;;) {
        if (auto found = final_path(existing))
            return rest.empty() ? *found : *found / rest;
        fs::path parent = existing.parent_path();
        // A server's name alone, or the root of no drive in particular, opens nothing.
        if (parent == existing || (!parent.has_relative_path() && !parent.has_root_name()))
            return full_path(path);
        rest = rest.empty() ? existing.filename() : existing.filename() / rest;
        existing = std::move(parent);
    }
}
#else
// Weakly: a replaced or deleted executable still runs, and its reported path then names
// nothing, yet its folder is still where the program's files are.
fs::path resolved(const fs::path& path) {
    return fs::weakly_canonical(path);
}
#endif

// UTF-8 whatever the platform: string() would go through the Windows code page.
std::string text_of(const fs::path& path) {
    const auto text = path.u8string();
    return std::string(text.begin(), text.end());
}

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

bool is_drive_letter(wchar_t c) {
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

// Windows' ordinary path parsing drops trailing dots and spaces from a name and takes
// CON, NUL, COM1 and the like, with any extension, for devices: a file of such a name
// is reached through \\?\ only.
bool plain_name_names_it(std::wstring_view name) {
    if (!name.empty() && (name.back() == L'.' || name.back() == L' '))
        return false;
    std::wstring stem(name.substr(0, name.find(L'.')));
    while (!stem.empty() && stem.back() == L' ')
        stem.pop_back();
    for (auto& c : stem)
        c = (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c;
    if (stem == L"CON" || stem == L"PRN" || stem == L"AUX" || stem == L"NUL")
        return false;
    const bool numbered = stem.size() == 4 && (stem.starts_with(L"COM") || stem.starts_with(L"LPT"));
    return !(numbered && stem[3] >= L'1' && stem[3] <= L'9');
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

}  // namespace

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
            return resolved(fs::path(buffer));
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
// says so and names the sources that build came from, this unit and logging.ini beside
// it among them). Any other executable is an installed copy and runs in packaged mode
// from the zelkora/ folder beside it, whether or not a source tree exists anywhere.
RunContext _run_context_of(const fs::path& executable) {
    RunContext context;
    context.executable = executable;
    const auto exe_dir = resolved(executable).parent_path();
    if (const auto root = marked_source_tree(exe_dir)) {
        context.unit_file = *root / "src" / "zelkora" / "paths.cpp";
    } else {
        context.packaged = true;
        context.unit_file = exe_dir / "zelkora" / "paths";
    }
    return context;
}

RunContext current_run_context() {
    return _run_context_of(_executable_path());
}

fs::path _executable_dir(const RunContext& context) {
    return resolved(context.executable).parent_path();
}

std::wstring _plain_windows_path(std::wstring_view path) {
    constexpr std::wstring_view verbatim = L"\\\\?\\";
    constexpr std::wstring_view unc = L"UNC\\";
    if (!path.starts_with(verbatim))
        return std::wstring(path);
    const auto rest = path.substr(verbatim.size());
    std::wstring plain;
    if (rest.size() >= 3 && is_drive_letter(rest[0]) && rest.substr(1, 2) == L":\\") {
        plain = rest;
    } else if (rest.starts_with(unc)) {
        plain = L"\\\\" + std::wstring(rest.substr(unc.size()));
    } else {
        return std::wstring(path);  // a volume without a drive letter, or a device
    }
    for (std::size_t at = 0; at <= rest.size();) {
        const auto end = std::min(rest.find(L'\\', at), rest.size());
        if (!plain_name_names_it(rest.substr(at, end - at)))
            return std::wstring(path);
        at = end + 1;
    }
    return plain;
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
    // <root>/src/zelkora/<unit>: the unit's directory, src, then the project root.
    return resolved(context.unit_file).parent_path().parent_path().parent_path();
}

AppPaths get_app_paths() {
    return get_app_paths(current_run_context());
}

AppPaths get_app_paths(const RunContext& context) {
    auto app_dir = _resolve_app_dir(context);
    auto log_dir = app_dir / "log";
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
    // In packaged mode the unit is no file of its own, so resolve its directory only.
    return resolved(context.unit_file.parent_path()) / "logging.ini";
}

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

    // The configuration sees forward slashes, which Windows accepts as well, so it never
    // has to care about backslash escapes. Only where a backslash is a separator, though:
    // elsewhere it is an ordinary character of a file name, and turning it into a
    // separator would send the log somewhere else.
    auto log_file = (used.log_dir / "app.log").string<log4cplus::tchar>();
    if constexpr (fs::path::preferred_separator == '\\') {
        std::replace(log_file.begin(), log_file.end(), LOG4CPLUS_TEXT('\\'), LOG4CPLUS_TEXT('/'));
    }

#if defined(_WIN32) && defined(UNICODE)
    // log4cplus's file streams are wide and take the global locale: with the classic one
    // the first character outside ASCII (a Japanese folder name in a log line) fails the
    // stream, and every later line is lost. The log file is UTF-8 on every platform.
    std::locale::global(std::locale(std::locale(), new std::codecvt_utf8_utf16<wchar_t>));
#endif
    log4cplus::tistringstream source(to_log_text(read_logging_config(config)));
    log4cplus::helpers::Properties properties(source);
    properties.setProperty(LOG4CPLUS_TEXT("log_file"), log_file);
    // Quiet mode would silence the very reports that tell a failed configuration apart;
    // the file may not switch it on for the duration of the configure either.
    properties.setProperty(LOG4CPLUS_TEXT("log4cplus.quietMode"), LOG4CPLUS_TEXT("false"));
    log4cplus::helpers::getLogLog().setQuietMode(false);

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

    if (root.getAllAppenders().empty())
        fail_configuration(config, "the root logger has no appender");
    // An unset root level configures silently, then makes every logging call throw.
    if (root.getLogLevel() == log4cplus::NOT_SET_LOG_LEVEL)
        fail_configuration(config, "the root logger has no level");
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

std::size_t std::hash<zelkora::AppPaths>::operator()(const zelkora::AppPaths& paths) const noexcept {
    const std::size_t app = std::filesystem::hash_value(paths.app_dir);
    const std::size_t log = std::filesystem::hash_value(paths.log_dir);
    return app ^ (log + 0x9e3779b9 + (app << 6) + (app >> 2));
}
