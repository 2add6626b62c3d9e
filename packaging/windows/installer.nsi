; The Windows installer: the same folder as the portable zip, installed for the current
; user only. The program keeps its log in log\ beside its app\ folder, so it must live
; where its user can write: %LOCALAPPDATA%\Programs, never Program Files, and no
; administrator rights are asked for.
;
; makensis -DSTAGE=<unpacked zelkora-desk folder> -DVERSION=<x.y.z> -DICON=<.ico>
;          -DPICTURES=<folder of wizard.bmp and header.bmp> -DOUTFILE=<setup.exe> installer.nsi

!ifndef STAGE | VERSION | ICON | PICTURES | OUTFILE
  !error "STAGE, VERSION, ICON, PICTURES and OUTFILE must be defined"
!endif

; The program runs on x86-64 Windows only: a 64-bit installer refuses 32-bit Windows at
; once instead of installing a program that cannot start there (and a 64-bit-only Wine
; runs it). Unicode, so that a profile folder such as C:\Users\山田 keeps its name.
Target amd64-unicode
ManifestDPIAware true
RequestExecutionLevel user
SetCompressor /SOLID lzma

!include "MUI2.nsh"
!include "FileFunc.nsh"

!define PRODUCT "zelkora-desk"
!define PUBLISHER "orvanel-works"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define SHORTCUT "$SMPROGRAMS\${PRODUCT}.lnk"
!define EXE "$INSTDIR\app\${PRODUCT}.exe"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PUBLISHER}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1041 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1041 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1041 "FileDescription" "${PRODUCT} インストーラー"
VIAddVersionKey /LANG=1041 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1041 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1041 "LegalCopyright" "© ${PUBLISHER}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "${EXE}"
; Our icon, not NSIS's pictures. Scaled without distortion: with a Japanese dialog font
; the picture's frame is not exactly its size, and white beside it is the page's own.
!define MUI_WELCOMEFINISHPAGE_BITMAP "${PICTURES}\wizard.bmp"
!define MUI_WELCOMEFINISHPAGE_BITMAP_STRETCH AspectFitHeight
!define MUI_HEADERIMAGE
!define MUI_HEADERIMAGE_RIGHT
!define MUI_HEADERIMAGE_BITMAP "${PICTURES}\header.bmp"
!define MUI_HEADERIMAGE_BITMAP_STRETCH AspectFitHeight
!insertmacro MUI_PAGE_WELCOME

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Japanese"

; Windows deletes and replaces no file of a running program: an update or a removal
; around it would leave a broken or orphaned folder (the uninstaller would even drop the
; entry that could remove it later). So nothing is touched while it runs: the user closes
; it and retries, and a silent run ends with status 2.
!macro WAIT_UNTIL_CLOSED un
  Function ${un}WaitUntilClosed
    retry:
    IfFileExists "${EXE}" 0 closed
    ClearErrors
    FileOpen $0 "${EXE}" a
    IfErrors 0 writable
      MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
          "${PRODUCT} が起動しています。終了してから「再試行」を押してください。" \
          /SD IDCANCEL IDRETRY retry
      SetErrorLevel 2
      Quit
    writable:
    FileClose $0
    closed:
  FunctionEnd
!macroend
!insertmacro WAIT_UNTIL_CLOSED ""
!insertmacro WAIT_UNTIL_CLOSED "un."

Section
  SetShellVarContext current
  Call WaitUntilClosed
  ; An earlier version's files go first, so none of them lingers beside the new ones.
  ; The log stays: it belongs to the user's history, not to the version.
  RMDir /r "$INSTDIR\app"
  SetOutPath "$INSTDIR\app"
  File /r "${STAGE}\app\*.*"
  SetOutPath "$INSTDIR"
  File "${STAGE}\README.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; Started from the shortcut, the program's working folder is its own.
  SetOutPath "$INSTDIR\app"
  CreateShortCut "${SHORTCUT}" "${EXE}" "" "${EXE}" 0

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "${EXE},0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; Removes what the installer put there and the log the program wrote. The options under
; HKCU\Software\orvanel-works\zelkora-desk are the user's own and stay, as they would
; for a reinstall.
Section "Uninstall"
  SetShellVarContext current
  Call un.WaitUntilClosed
  Delete "${SHORTCUT}"
  RMDir /r "$INSTDIR\app"
  RMDir /r "$INSTDIR\log"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\uninstall.exe"
  ; Only when empty: a folder the user chose may hold files of their own.
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
