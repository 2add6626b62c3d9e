// The program's entry: logging first, then the application and its window; a start
// that fails before the window is up reports itself in one line and exits with 1.
#include <log4cplus/initializer.h>

#include <cstdio>
#include <exception>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

// Qt's widget classes. With MinGW they also rename the main below to qMain, which the
// WinMain of Qt's entry-point library calls in a windowed program.
#include <QApplication>

#include "application.h"
#include "errors.h"
#include "main_window.h"
#include "paths.h"
#include "policy_store.h"
#include "windows_api.h"

namespace {

// The kind of the exception being handled, as the one-line report names it. Most
// specific first: the project's own kinds derive from the standard ones.
const char* kind_of_current_exception() {
    try {
        throw;
    } catch (const zelkora::FileNotFoundError&) {
        return "FileNotFoundError";
    } catch (const zelkora::TypeError&) {
        return "TypeError";
    } catch (const zelkora::ValueError&) {
        return "ValueError";
    } catch (const std::system_error&) {  // file-system errors included
        return "OSError";
    } catch (const std::bad_alloc&) {
        return "MemoryError";
    } catch (const std::runtime_error&) {
        return "RuntimeError";
    } catch (...) {
        return "Error";
    }
}

// The text on one line: each line break, with the spaces around it, becomes one space.
std::string on_one_line(std::string_view text) {
    std::string line;
    bool after_break = false;
    for (const char c : text) {
        if (c == '\r' || c == '\n') {
            while (!line.empty() && line.back() == ' ')
                line.pop_back();
            after_break = true;
        } else if (!(after_break && c == ' ')) {
            if (after_break && !line.empty())
                line += ' ';
            after_break = false;
            line += c;
        }
    }
    return line;
}

#if defined(_WIN32)
// Windows' text for one of its error codes, in UTF-8 (empty if it has none). libstdc++
// asks for it in the ANSI code page, CP932 on a Japanese Windows, which is no UTF-8.
std::string windows_error_text(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    if (length == 0)
        return {};
    std::string utf8 = QString::fromWCharArray(text, static_cast<qsizetype>(length)).trimmed().toStdString();
    LocalFree(text);
    // As libstdc++ gives an English one: without its full stop.
    if (utf8.ends_with('.'))
        utf8.pop_back();
    return utf8;
}
#endif

// What went wrong, as the exception says it, in UTF-8 and on one line.
std::string message_of(const std::exception& error) {
    std::string message = error.what();
#if defined(_WIN32)
    // libstdc++ put Windows' text into the message word for word: the UTF-8 one goes in its place.
    const auto* system = dynamic_cast<const std::system_error*>(&error);
    if (system != nullptr && system->code().category() == std::system_category()) {
        const std::string ansi = system->code().message();
        const std::string utf8 = windows_error_text(static_cast<DWORD>(system->code().value()));
        const auto at = message.find(ansi);
        if (!ansi.empty() && !utf8.empty() && at != std::string::npos)
            message.replace(at, ansi.size(), utf8);
    }
#endif
    return on_one_line(message);
}

// A failed start: one line on standard error. A windowed program on Windows has no
// console of its own, so when standard error goes nowhere (not redirected) but the
// program was started from a console, the line goes to that console, where the user
// typed the command. A console takes UTF-16 whatever its code page; a file or a pipe
// gets UTF-8, as everywhere else.
void report_failed_start(const std::string& line) {
#if defined(_WIN32)
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    const bool connected = err != nullptr && err != INVALID_HANDLE_VALUE && GetFileType(err) != FILE_TYPE_UNKNOWN;
    if (!connected && AttachConsole(ATTACH_PARENT_PROCESS)) {
        err = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, 0, nullptr);
    }
    DWORD mode = 0;
    if (err != nullptr && err != INVALID_HANDLE_VALUE && GetConsoleMode(err, &mode)) {
        const int size = static_cast<int>(line.size());
        const int wide_size = MultiByteToWideChar(CP_UTF8, 0, line.data(), size, nullptr, 0);
        std::wstring wide(static_cast<std::size_t>(wide_size), L'\0');
        MultiByteToWideChar(CP_UTF8, 0, line.data(), size, wide.data(), wide_size);
        DWORD written = 0;
        if (WriteConsoleW(err, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr))
            return;
    }
#endif
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
}

#if defined(_WIN32)
// Qt looks for plug-ins in QT_PLUGIN_PATH and QT_QPA_PLATFORM_PLUGIN_PATH before the
// program's own folder, and the first platform plug-in it finds is the one it loads:
// another program's Qt, named there machine-wide, would stop this one. The packaged
// program brings its plug-ins along and takes them from its own folder only. Before the
// application object exists, which reads both variables.
void use_own_plugins_only() {
    const zelkora::RunContext context = zelkora::current_run_context();
    if (!context.packaged)
        return;
    qunsetenv("QT_PLUGIN_PATH");
    qunsetenv("QT_QPA_PLATFORM_PLUGIN_PATH");
    // With forward slashes, as Qt writes the paths it finds itself.
    QCoreApplication::setLibraryPaths({QString::fromStdWString(zelkora::_executable_dir(context).generic_wstring())});
}
#endif

}  // namespace

int main(int argc, char* argv[]) {
    // log4cplus needs its initializer alive for as long as anything logs, and shuts
    // down (flushing every appender) when it goes: the whole life of the program.
    log4cplus::Initializer log_initializer;
    try {
        zelkora::initialize_main_window_unit();
#if defined(_WIN32)
        use_own_plugins_only();
#endif
        // Read once, as the program starts: the window keeps to what it read.
        return zelkora::run_application(argc, argv, zelkora::system_policy(), report_failed_start);
    } catch (const std::exception& error) {
        // A failed start: one line on standard error, the kind and the message word for word.
        report_failed_start(std::string(kind_of_current_exception()) + ": " + message_of(error) + "\n");
    } catch (...) {
        report_failed_start("Error: unknown failure\n");
    }
    return 1;
}
