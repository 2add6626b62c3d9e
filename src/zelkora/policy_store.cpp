#include "policy_store.h"

#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <algorithm>
#include <cstring>
#include <vector>

#include "windows_api.h"
#else
#include <cstdlib>
#include <filesystem>
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

// Adds the values of one root that a root read before did not set: the machine's
// policy wins over the user's, as Group Policy's own does.
void read_root(HKEY root, std::string_view root_name, PolicyValues& read) {
    HKEY key = nullptr;
    const LSTATUS opened = RegOpenKeyExW(root, wide(POLICY_KEY).c_str(), 0, KEY_QUERY_VALUE, &key);
    if (opened != ERROR_SUCCESS) {
        if (opened != ERROR_FILE_NOT_FOUND) {
            read.problems.push_back(std::string(root_name) + "\\" + std::string(POLICY_KEY) + " を読めません");
        }
        return;
    }
    for (const PolicyValueName& name : POLICY_VALUE_NAMES) {
        if (read.values.contains(name.name)) {
            continue;
        }
        const std::wstring value_name = wide(name.name);
        DWORD type = 0;
        DWORD size = 0;
        if (RegQueryValueExW(key, value_name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
            continue;
        }
        // Zeroed and longer by a terminator, which text in the registry may lack.
        std::vector<BYTE> data(size + sizeof(wchar_t));
        if (RegQueryValueExW(key, value_name.c_str(), nullptr, &type, data.data(), &size) != ERROR_SUCCESS) {
            read.problems.push_back(std::string(name.name) + " を読めません");
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
}

#else

#ifdef ZELKORA_TEST_POLICY_SEAM
// Test builds only: each test names its own policy file, and without one there is none,
// whatever the machine running the tests has.
std::string policy_file() {
    const char* file = std::getenv("ZELKORA_TEST_POLICY_FILE");
    return file ? file : "";
}
#else
std::string policy_file() {
    return std::string(POLICY_FILE);
}
#endif

#endif

}  // namespace

PolicyValues read_policy_values() {
    PolicyValues read;
#ifdef _WIN32
    read_root(HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", read);
    read_root(HKEY_CURRENT_USER, "HKEY_CURRENT_USER", read);
#else
    const std::string path = policy_file();
    std::error_code error;
    if (path.empty() || !std::filesystem::exists(path, error)) {
        if (error && error != std::errc::no_such_file_or_directory) {
            read.problems.push_back(path + " を読めません（" + error.message() + "）");
        }
        return read;
    }
    // A policy that is there but cannot be read is not taken for none.
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        read.problems.push_back(path + " を読めません");
        return read;
    }
    read = parse_policy_file(std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()));
#endif
    return read;
}

Policy system_policy() {
    return make_policy(read_policy_values());
}

}  // namespace zelkora
