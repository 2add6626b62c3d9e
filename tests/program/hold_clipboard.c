/* Holds the clipboard open as a clipboard manager, a remote desktop's clipboard sharing
 * or an office suite may: puts TEXT on it, prints "held", and keeps it open until its
 * standard input ends. Meanwhile no other program can put anything there.
 *
 *   hold_clipboard.exe TEXT
 *   x86_64-w64-mingw32-gcc-posix -municode -o hold_clipboard.exe hold_clipboard.c
 */
#include <stdio.h>
#include <string.h>
#include <wchar.h>
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
    if (argc != 2)
        return 2;
    /* A window of its own to open the clipboard with: opened with none, the clipboard
     * would have no owner, and Windows may refuse the text. */
    HWND owner = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, NULL, NULL);
    const size_t size = (wcslen(argv[1]) + 1) * sizeof(wchar_t);
    HGLOBAL text = GlobalAlloc(GMEM_MOVEABLE, size);
    if (!owner || !text || !OpenClipboard(owner) || !EmptyClipboard())
        return 1;
    memcpy(GlobalLock(text), argv[1], size);
    GlobalUnlock(text);
    if (!SetClipboardData(CF_UNICODETEXT, text))
        return 1;
    puts("held");
    fflush(stdout);
    while (getchar() != EOF) {
    }
    return !CloseClipboard();
}
