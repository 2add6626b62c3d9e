#include <log4cplus/initializer.h>

#include <cstdio>
#include <exception>
#include <new>
#include <stdexcept>
#include <string>
#include <system_error>

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif

#include "errors.h"
#include "main_window.h"

namespace {

// The kind of the exception being handled, as the one-line report names it. Most
// specific first: the project's own kinds derive from the standard ones.
const char* kind_of_current_exception()
{
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

// A failed start: one line on standard error. A windowed program on Windows has no
// console of its own, so when standard error goes nowhere (not redirected) but the
// program was started from a console, the line goes to that console, where the user
// typed the command. A console takes UTF-16 whatever its code page; a file or a pipe
// gets UTF-8, as everywhere else.
void report_failed_start(const std::string& line)
{
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
        if (WriteConsoleW(err, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr)) return;
    }
#endif
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
}

}  // namespace

int main(int argc, char* argv[])
{
    // log4cplus needs its initializer alive for as long as anything logs, and shuts
    // down (flushing every appender) when it goes: the whole life of the program.
    log4cplus::Initializer log_initializer;
    try {
        zelkora::initialize_main_window_unit();
        return zelkora::main(argc, argv);
    } catch (const std::exception& error) {
        // A failed start: one line on standard error, the kind and the message word for word.
        report_failed_start(std::string(kind_of_current_exception()) + ": " + error.what() + "\n");
    } catch (...) {
        report_failed_start("Error: unknown failure\n");
    }
    return 1;
}
