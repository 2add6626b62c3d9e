#pragma once
// A path with its links resolved and spelt as the platform spells it. The one place
// that knows Windows' path forms: \\?\ and \\?\UNC\ prefixes, shares, device names,
// names that differ only in letter case.

#include <filesystem>
#include <string>
#include <string_view>

namespace zelkora {

// weakly_canonical as the program needs it: every link resolved as far as the path
// exists, the rest taken over as it is, so a replaced or deleted executable still has
// its folder. On Windows every existing name is spelt as on disk, and the path has the
// plain form (C:\... or \\server\share\...) wherever one names the file.
std::filesystem::path resolved_path(const std::filesystem::path& path);

// Whether two paths name the same file by their text alone: repeated and trailing
// separators and "." steps do not count, letter case does not count on Windows.
bool same_path(const std::filesystem::path& a, const std::filesystem::path& b);

// A path as Windows' final-path query gives it (\\?\C:\..., \\?\UNC\server\share\...),
// without the \\?\ prefix wherever the plain form names the same file; any other path
// unchanged. A pure function of its text, so that it can be tried on any platform.
std::wstring _plain_windows_path(std::wstring_view path);

}  // namespace zelkora
