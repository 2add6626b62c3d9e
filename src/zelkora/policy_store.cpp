#include "policy_store.h"

#include <exception>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <algorithm>
#include <cstring>
#include <vector>

#include "windows_api.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace zelkora {

namespace {

#ifdef _WIN32

std::wstring wide(std::string_view ascii) {
    return {ascii.begin(), ascii.end()};
}

std::string utf8(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string converted(static_cast<std::size_t>(std::max(size, 1)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, converted.data(), size, nullptr, nullptr);
    converted.resize(converted.size() - 1);
    return converted;
}

std::string type_name(DWORD type) {
    switch (type) {
        case REG_EXPAND_SZ:
            return "REG_EXPAND_SZ";
        case REG_MULTI_SZ:
            return "REG_MULTI_SZ";
        case REG_BINARY:
            return "REG_BINARY";
        case REG_QWORD:
            return "REG_QWORD";
        case REG_DWORD:
            return "REG_DWORD";
        default:
            return "type " + std::to_string(type);
    }
}

// The values of one root, and whether its key holds any value at all, read or not.
PolicyValues read_root(HKEY root, std::string_view root_name) {
    PolicyValues read;
    read.place = std::string(root_name) + "\\" + std::string(POLICY_KEY);
    HKEY key = nullptr;
    const LSTATUS opened = RegOpenKeyExW(root, wide(POLICY_KEY).c_str(), 0, KEY_QUERY_VALUE, &key);
    if (opened != ERROR_SUCCESS) {
        if (opened != ERROR_FILE_NOT_FOUND) {
            read.problems.push_back(read.place + " を読めません（エラー " + std::to_string(opened) + "）");
        }
        return read;
    }
    DWORD count = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr,
                         nullptr) != ERROR_SUCCESS) {
        read.problems.push_back(read.place + " を読めません");
    }
    read.holds_any = count > 0;
    for (const PolicyValueName& name : POLICY_VALUE_NAMES) {
        const std::wstring value_name = wide(name.name);
        DWORD type = 0;
        DWORD size = 0;
        if (RegQueryValueExW(key, value_name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
            continue;
        }
        // Zeroed and longer by a terminator, which text in the registry may lack.
        std::vector<BYTE> data(size + sizeof(wchar_t));
        if (RegQueryValueExW(key, value_name.c_str(), nullptr, &type, data.data(), &size) != ERROR_SUCCESS) {
            read.problems.push_back(read.place + " の " + std::string(name.name) + " を読めません");
            continue;
        }
        PolicyValue value = WrongType{type_name(type)};
        if (type == REG_DWORD && size == sizeof(std::uint32_t)) {
            std::uint32_t number = 0;
            std::memcpy(&number, data.data(), sizeof number);
            value = number;
        } else if (type == REG_SZ) {
            value = utf8(reinterpret_cast<const wchar_t*>(data.data()));
        }
        read.values.emplace(name.name, std::move(value));
    }
    RegCloseKey(key);
    return read;
}

#else

// Closes the file it holds when it goes.
struct Descriptor {
    int fd;
    ~Descriptor() { ::close(fd); }
};

// Whether nothing is at `path`, in a folder that is there or is not either: no policy.
// A dangling link at either is something, and is refused.
bool absent(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 || errno != ENOENT) {
        return false;
    }
    const std::string folder = path.substr(0, path.rfind('/'));
    if (::stat(folder.c_str(), &info) == 0) {
        return S_ISDIR(info.st_mode);
    }
    return errno == ENOENT && ::lstat(folder.c_str(), &info) != 0 && errno == ENOENT;
}

std::string open_failure(int error, const std::string& path) {
    struct stat info {};
    switch (error) {
        case ENOENT:
            return ::lstat(path.c_str(), &info) == 0
                       ? "リンク先がありません"
                       : "フォルダー " + path.substr(0, path.rfind('/')) + " がリンク切れです";
        case ELOOP:
            return "リンクが循環しているか、多すぎます";
        case ENOTDIR:
            return "フォルダーであるべきところにファイルがあります";
        case EACCES:
            return "読む権限がありません";
        default:
            return std::generic_category().message(error);
    }
}

std::string not_a_file(mode_t mode) {
    if (S_ISDIR(mode)) {
        return "フォルダーです";
    }
    if (S_ISFIFO(mode)) {
        return "名前付きパイプ（FIFO）です";
    }
    if (S_ISCHR(mode) || S_ISBLK(mode)) {
        return "デバイスです";
    }
    return "通常のファイルではありません";
}

#endif

}  // namespace

#ifndef _WIN32
PolicyValues read_policy_file(const std::string& path) {
    PolicyValues read;
    read.place = path;
    const auto refused = [&read](const std::string& why) {
        read.holds_any = true;
        read.problems.push_back(read.place + " を読めません: " + why);
        return read;
    };
    // Not blocking: a FIFO put there would hold the program at its start for ever.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        return error == ENOENT && absent(path) ? read : refused(open_failure(error, path));
    }
    const Descriptor file{fd};
    // What was opened, not what the path names now.
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        return refused(std::generic_category().message(errno));
    }
    if (!S_ISREG(info.st_mode)) {
        return refused(not_a_file(info.st_mode));
    }
    const std::string too_large = "大きすぎます（" + std::to_string(POLICY_FILE_MOST) + " バイトまでです）";
    if (info.st_size > POLICY_FILE_MOST) {
        return refused(too_large);
    }
    // One byte more than allowed tells a file that grew since.
    std::string text(static_cast<std::size_t>(POLICY_FILE_MOST) + 1, '\0');
    std::size_t size = 0;
    while (size < text.size()) {
        const ssize_t got = ::read(fd, text.data() + size, text.size() - size);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return refused(std::generic_category().message(errno));
        }
        if (got == 0) {
            break;
        }
        size += static_cast<std::size_t>(got);
    }
    if (size > static_cast<std::size_t>(POLICY_FILE_MOST)) {
        return refused(too_large);
    }
    text.resize(size);
    return parse_policy_file(text, path);
}
#endif

PolicyValues read_policy_values() {
#ifdef _WIN32
    return policy_of_roots(read_root(HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE"),
                           read_root(HKEY_CURRENT_USER, "HKEY_CURRENT_USER"));
#else
    return read_policy_file(std::string(POLICY_FILE));
#endif
}

Policy system_policy() {
    try {
        return make_policy(read_policy_values());
    } catch (const std::exception& error) {
        // Not read is not no policy: nothing is generated until an administrator looks.
        Policy policy;
        policy.problems.push_back("管理者のポリシーを読めません: " + std::string(error.what()));
        return policy;
    }
}

}  // namespace zelkora
