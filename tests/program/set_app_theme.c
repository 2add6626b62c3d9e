/* Switches Windows' mode for apps to light or dark as its Settings page does: the user's
 * AppsUseLightTheme value, then the broadcast that tells running programs to read it.
 *
 *   set_app_theme.exe light|dark
 *   x86_64-w64-mingw32-gcc-posix -municode -o set_app_theme.exe set_app_theme.c
 */
#include <wchar.h>
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
    const DWORD light = argc == 2 && wcscmp(argv[1], L"light") == 0;
    DWORD_PTR answer;
    if (RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize",
                        L"AppsUseLightTheme", REG_DWORD, &light, sizeof light) != ERROR_SUCCESS)
        return 1;
    return !SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, (LPARAM)L"ImmersiveColorSet", SMTO_ABORTIFHUNG,
                                5000, &answer);
}
