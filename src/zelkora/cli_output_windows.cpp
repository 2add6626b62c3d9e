#include "cli_output.h"

#include <sodium.h>

#include <algorithm>
#include <utility>

#include "windows_api.h"
// After windows.h, which it builds on.
#include <shellapi.h>

namespace zelkora {

namespace {

constexpr const char* EXISTS = " はすでにあります（置き換えるには --force を付けます）";

std::wstring widen(std::string_view text) {
    std::wstring wide(text.size(), L'\0');
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                                         static_cast<int>(wide.size()));
    wide.resize(size > 0 ? static_cast<std::size_t>(size) : 0);
    return wide;
}

// UTF-16 to UTF-8 by hand: WideCharToMultiByte would turn a lone surrogate into U+FFFD.
std::string narrow(std::wstring_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += {static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F))};
        } else if (c < 0x10000) {
            out += {static_cast<char>(0xE0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
                    static_cast<char>(0x80 | (c & 0x3F))};
        } else {
            out += {static_cast<char>(0xF0 | (c >> 18)), static_cast<char>(0x80 | ((c >> 12) & 0x3F)),
                    static_cast<char>(0x80 | ((c >> 6) & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))};
        }
    }
    return out;
}

std::string reason(DWORD error) {
    switch (error) {
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return "空き容量がありません";
        case ERROR_ACCESS_DENIED:
            return "アクセスが拒否されました";
        case ERROR_WRITE_PROTECT:
            return "書き込み禁止です";
        case ERROR_PATH_NOT_FOUND:
            return "フォルダーがありません";
        default:
            return "エラー " + std::to_string(error);
    }
}

[[noreturn]] void fail(const std::string& where, DWORD error) {
    throw OutputError("書き込めませんでした（" + where + "）: " + reason(error));
}

bool is_console(HANDLE handle) {
    DWORD mode = 0;
    return GetFileType(handle) == FILE_TYPE_CHAR && GetConsoleMode(handle, &mode);
}

void write_all(HANDLE handle, std::string_view text, const std::string& where) {
    while (!text.empty()) {
        DWORD written = 0;
        const auto size = static_cast<DWORD>(std::min<std::size_t>(text.size(), 1 << 20));
        if (!WriteFile(handle, text.data(), size, &written, nullptr)) {
            const DWORD error = GetLastError();
            if (error == ERROR_NO_DATA || error == ERROR_BROKEN_PIPE || error == ERROR_PIPE_NOT_CONNECTED) {
                throw ReaderGone();
            }
            fail(where, error);
        }
        text.remove_prefix(written);
    }
}

// The console's own calls take UTF-16 and show it whatever the code page; the text
// passes through a buffer of its own, wiped as it goes.
void write_console(HANDLE handle, std::string_view text) {
    std::wstring wide = widen(text);
    std::wstring_view rest = wide;
    while (!rest.empty()) {
        // Pieces of a size every console takes, never splitting a surrogate pair.
        std::size_t size = std::min<std::size_t>(rest.size(), 8192);
        if (size < rest.size() && rest[size - 1] >= 0xD800 && rest[size - 1] < 0xDC00) {
            --size;
        }
        DWORD written = 0;
        if (!WriteConsoleW(handle, rest.data(), static_cast<DWORD>(size), &written, nullptr) || written == 0) {
            const DWORD error = GetLastError();
            sodium_memzero(wide.data(), wide.size() * sizeof(wchar_t));
            fail("コンソール", error);
        }
        rest.remove_prefix(written);
    }
    sodium_memzero(wide.data(), wide.size() * sizeof(wchar_t));
}

class StandardOutput : public Output {
public:
    void write(std::string_view text) override {
        HANDLE handle = GetStdHandle(STD_OUTPUT_HANDLE);
        if (is_console(handle)) {
            write_console(handle, text);
        } else {
            write_all(handle, text, "標準出力");
        }
    }
    void finish() override {}
};

// The temporary file of an output in progress, removed when the console's Ctrl+C or
// closing ends the program (it goes when the program's handle closes).
std::wstring interrupted_temp;

BOOL WINAPI remove_temp(DWORD) {
    DeleteFileW(interrupted_temp.c_str());
    return FALSE;
}

class FileOutput : public Output {
public:
    FileOutput(const std::string& path, bool replace) : _path(path), _wide(widen(path)), _replace(replace) {
        const DWORD attributes = GetFileAttributesW(_wide.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES) {
            if (!replace) {
                throw OutputError(path + EXISTS);
            }
            if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) {
                throw OutputError(path + " は通常のファイルではないので置き換えません");
            }
        }
        for (int attempt = 0; _handle == INVALID_HANDLE_VALUE; ++attempt) {
            _temp = _wide + L"." + std::to_wstring(randombytes_random()) + L".tmp";
            _handle = CreateFileW(_temp.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
            if (_handle == INVALID_HANDLE_VALUE && (GetLastError() != ERROR_FILE_EXISTS || attempt == 10)) {
                fail(path, GetLastError());
            }
        }
        interrupted_temp = _temp;
        SetConsoleCtrlHandler(remove_temp, TRUE);
    }

    ~FileOutput() override {
        if (_handle != INVALID_HANDLE_VALUE) {
            CloseHandle(_handle);
        }
        if (!_finished) {
            DeleteFileW(_temp.c_str());
        }
        SetConsoleCtrlHandler(remove_temp, FALSE);
    }

    void write(std::string_view text) override { write_all(_handle, text, _path); }

    void finish() override {
        HANDLE handle = std::exchange(_handle, INVALID_HANDLE_VALUE);
        if (!FlushFileBuffers(handle)) {
            const DWORD error = GetLastError();
            CloseHandle(handle);
            fail(_path, error);
        }
        CloseHandle(handle);
        const DWORD flags = MOVEFILE_WRITE_THROUGH | (_replace ? MOVEFILE_REPLACE_EXISTING : 0);
        if (!MoveFileExW(_temp.c_str(), _wide.c_str(), flags)) {
            const DWORD error = GetLastError();
            if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) {
                throw OutputError(_path + EXISTS);
            }
            fail(_path, error);
        }
        _finished = true;
    }

private:
    std::string _path;
    std::wstring _wide;
    std::wstring _temp;
    bool _replace;
    HANDLE _handle = INVALID_HANDLE_VALUE;
    bool _finished = false;
};

}  // namespace

std::unique_ptr<Output> standard_output() {
    return std::make_unique<StandardOutput>();
}

std::unique_ptr<Output> file_output(const std::string& path, bool replace) {
    return std::make_unique<FileOutput>(path, replace);
}

void print_error_line(std::string_view text) {
    HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
    const std::string line = std::string(text) + "\n";
    try {
        if (is_console(handle)) {
            write_console(handle, line);
        } else {
            write_all(handle, line, "標準エラー出力");
        }
    } catch (const std::exception&) {
        // Nowhere left to say it.
    }
}

std::vector<std::string> command_line_arguments(int, char**) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int i = 1; wide != nullptr && i < count; ++i) {
        arguments.push_back(narrow(wide[i]));
    }
    LocalFree(wide);
    return arguments;
}

void prepare_process() {}

}  // namespace zelkora
