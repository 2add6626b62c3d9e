/* Switches Windows between light and dark mode for apps as its Settings page does: the
 * user's AppsUseLightTheme value, then the broadcast that tells running programs to read
 * it again.
 *
 *   set_app_theme.exe light|dark
 *   x86_64-w64-mingw32-gcc-posix -municode -o set_app_theme.exe set_app_theme.c
 */
#include <wchar.h>
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
    if (argc != 2 || (wcscmp(argv[1], L"light") != 0 && wcscmp(argv[1], L"dark") != 0))
        return 2;
    const DWORD light = wcscmp(argv[1], L"light") == 0;
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize", 0,
                        NULL, 0, KEY_SET_VALUE, NULL, &key, NULL) != ERROR_SUCCESS)
        return 1;
    const LSTATUS set = RegSetValueExW(key, L"AppsUseLightTheme", 0, REG_DWORD, (const BYTE*)&light, sizeof light);
    RegCloseKey(key);
    DWORD_PTR answer;
    return set == ERROR_SUCCESS && SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0,
                                                       (LPARAM)L"ImmersiveColorSet", SMTO_ABORTIFHUNG, 5000, &answer)
               ? 0
               : 1;
}
