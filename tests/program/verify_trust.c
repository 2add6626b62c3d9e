/* Asks Windows whether files carry an intact Authenticode signature, as Explorer and
 * SmartScreen do: prints WinVerifyTrust's answer for each file named, one line each,
 * "0x<HRESULT> <file>". 0 means signed and intact; 0x800B0100 no signature;
 * 0x80096010 a digest that no longer matches the file.
 *
 *   x86_64-w64-mingw32-gcc-posix -municode -o verify_trust.exe verify_trust.c -lwintrust
 */
#include <stdio.h>
#include <windows.h>
#include <softpub.h>
#include <wintrust.h>

static LONG verify(const wchar_t *path) {
    WINTRUST_FILE_INFO file = {0};
    file.cbStruct = sizeof file;
    file.pcwszFilePath = path;
    WINTRUST_DATA data = {0};
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    /* No network: revocation lists cannot be fetched on a test machine. */
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    LONG status = WinVerifyTrust(NULL, &action, &data);
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust(NULL, &action, &data);
    return status;
}

int wmain(int argc, wchar_t **argv) {
    if (argc < 2) {
        fwprintf(stderr, L"usage: verify_trust FILE...\n");
        return 2;
    }
    for (int i = 1; i < argc; ++i) {
        wprintf(L"0x%08lX %ls\n", (unsigned long)verify(argv[i]), argv[i]);
    }
    return 0;
}
