#include "canonical_path.h"

#include <algorithm>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

#include "windows_api.h"

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
#endif

}  // namespace

#if defined(_WIN32)
// libstdc++'s weakly_canonical turns \\server\share\... into a folder on the current
// drive, and fails on \\?\... altogether: the longest existing part is asked of Windows
// itself, and the rest appended.
fs::path resolved_path(const fs::path& path) {
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
fs::path resolved_path(const fs::path& path) {
    return fs::weakly_canonical(path);
}
#endif

bool same_path(const fs::path& a, const fs::path& b) {
    const auto a_names = names_of(a);
    const auto b_names = names_of(b);
    return std::equal(a_names.begin(), a_names.end(), b_names.begin(), b_names.end(), same_name);
}

// The rules, from what Windows' path parsing does to a path without the prefix:
//   \\?\C:\rest        ->  C:\rest           (a drive letter, a colon, a backslash)
//   \\?\UNC\srv\rest   ->  \\srv\rest        (a share)
//   \\?\anything else  ->  unchanged         (a volume GUID, a device: no plain form)
// and unchanged as well when any name of the path is one that parsing would alter or
// take for a device (plain_name_names_it): the plain form would name another file.
// The length does not count: a long path is the manifest's business, and libstdc++
// reads no \\?\ path at all.
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

}  // namespace zelkora
