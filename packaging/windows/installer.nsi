; The Windows installer: the same folder as the portable zip, installed for the current
; user only. The program keeps its log in log\ beside its app\ folder, so it must live
; where its user can write: %LOCALAPPDATA%\Programs, never Program Files, and no
; administrator rights are asked for.
;
; makensis -DSTAGE=<unpacked zelkora-desk folder> -DVERSION=<x.y.z> -DICON=<.ico>
;          -DPICTURES=<folder of wizard.bmp and header.bmp>
;          -DFILES=<files.nsh> -DRECORD=<installed-files.txt> -DOUTFILE=<setup.exe> installer.nsi
;
; FILES installs the stage's files and RECORD lists them; scripts/windows/installer
; writes both from the stage.

!ifndef STAGE | VERSION | ICON | PICTURES | FILES | RECORD | OUTFILE
  !error "STAGE, VERSION, ICON, PICTURES, FILES, RECORD and OUTFILE must be defined"
!endif

; -DSIGN=<command> signs setup.exe once written, and the uninstaller before it goes into
; setup.exe, so that the uninstall.exe it writes on the user's machine is signed as well.
!ifdef SIGN
  !finalize '"${SIGN}" "%1"' = 0
  !uninstfinalize '"${SIGN}" "%1"' = 0
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
VIAddVersionKey /LANG=1041 "LegalCopyright" "© 2026 ${PUBLISHER}, MIT License"

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
; The MIT licence asks nothing of the user: shown to be read, passed with Next.
!define MUI_LICENSEPAGE_TEXT_BOTTOM "zelkora-desk は MIT ライセンスで公開しています。同梱したライブラリの$\r$\nライセンスは、インストール先の THIRD-PARTY-NOTICES.txt にあります。"
!define MUI_LICENSEPAGE_BUTTON "次へ(&N) >"
!insertmacro MUI_PAGE_LICENSE "${STAGE}\LICENSE.txt"

!define MUI_PAGE_CUSTOMFUNCTION_LEAVE DirectoryLeave
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

; An install lists what it wrote in the folder's installed-files.txt, and that list is
; all an update or the uninstaller ever removes. A folder takes an install only when it
; is new, empty, or holds such a list: one the user typed, or an old InstallLocation, may
; hold files of theirs (an app\ or a log\ of their own among them), and those stay.
!define RECORD_NAME "installed-files.txt"
!define STATUS_NOT_OURS 3

; $R0: why $INSTDIR cannot take the install, or "" when it can.
Function FolderVerdict
  StrCpy $R0 ""
  IfFileExists "$INSTDIR\${RECORD_NAME}" done
  ; 0: an empty folder, 1: a folder with something in it, -1: no folder of that name.
  ${DirState} "$INSTDIR" $R1
  StrCmp $R1 0 done
  StrCmp $R1 -1 no_folder
    StrCpy $R0 "$INSTDIR$\r$\n$\r$\nこのフォルダーは空ではなく、${PRODUCT} のインストール先でもありません。中のファイルを上書きしたり削除したりしないよう、ここにはインストールしません。新しいフォルダーか空のフォルダーを選んでください。"
    Goto done
  no_folder:
  IfFileExists "$INSTDIR" 0 done
  StrCpy $R0 "$INSTDIR$\r$\n$\r$\nこれはフォルダーではありません。新しいフォルダーか空のフォルダーを選んでください。"
  done:
FunctionEnd

Function DirectoryLeave
  Call FolderVerdict
  StrCmp $R0 "" +3
    MessageBox MB_OK|MB_ICONEXCLAMATION "$R0"
    Abort
FunctionEnd

; Removes what the list in $INSTDIR names: its files, then its folders where that leaves
; them empty. An entry that could reach outside $INSTDIR (..), or name several files at
; once (* ?), is no entry of ours and is passed over.
!macro REMOVE_RECORDED un
  Function ${un}RemoveRecorded
    ClearErrors
    FileOpen $R1 "$INSTDIR\${RECORD_NAME}" r
    IfErrors done
    read:
      ClearErrors
      FileReadUTF16LE $R1 $R2
      IfErrors end
      StrCpy $R3 $R2 2 -2
      StrCmp $R3 "$\r$\n" 0 +2
      StrCpy $R2 $R2 -2
      StrCpy $R4 0
      check:
        StrCpy $R3 $R2 2 $R4
        StrCmp $R3 "" checked
        StrCmp $R3 ".." read
        StrCpy $R3 $R2 1 $R4
        StrCmp $R3 "*" read
        StrCmp $R3 "?" read
        IntOp $R4 $R4 + 1
        Goto check
      checked:
      StrCmp $R2 "" read
      StrCpy $R3 $R2 1 -1
      StrCmp $R3 "\" 0 file
        StrCpy $R2 $R2 -1
        RMDir "$INSTDIR\$R2"
        Goto read
      file:
        Delete "$INSTDIR\$R2"
        Goto read
    end:
    FileClose $R1
    done:
  FunctionEnd
!macroend
!insertmacro REMOVE_RECORDED ""
!insertmacro REMOVE_RECORDED "un."

Section
  SetShellVarContext current
  ; A silent install sees no directory page: the same test, before anything is written.
  Call FolderVerdict
  StrCmp $R0 "" ours
    MessageBox MB_OK|MB_ICONSTOP "$R0" /SD IDOK
    SetErrorLevel ${STATUS_NOT_OURS}
    Quit
  ours:
  Call WaitUntilClosed
  ; An earlier version's files go first, so none of them lingers beside the new ones.
  ; The log stays: it belongs to the user's history, not to the version.
  Call RemoveRecorded
  ; The list before the files, so that an install stopped half-way can still be removed.
  SetOutPath "$INSTDIR"
  File "/oname=${RECORD_NAME}" "${RECORD}"
  !include "${FILES}"
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

; Removes what the install listed, and the log the program wrote; folders only where
; that leaves them empty, so files of the user's own stay, and the folder with them.
; The options under HKCU\Software\orvanel-works\zelkora-desk are the user's own and
; stay, as they would for a reinstall.
Section "Uninstall"
  SetShellVarContext current
  Call un.WaitUntilClosed
  ; Without the list nothing here is known to be ours but the uninstaller.
  IfFileExists "$INSTDIR\${RECORD_NAME}" 0 unlisted
    Call un.RemoveRecorded
    Delete "$INSTDIR\log\app.log"
    Delete "$INSTDIR\log\.write_test"
    RMDir "$INSTDIR\log"
    Delete "$INSTDIR\${RECORD_NAME}"
  unlisted:
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  ; The shortcut and the entry are this folder's unless a later install elsewhere took them.
  ReadRegStr $R0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  StrCmp $R0 "$INSTDIR" 0 +3
    Delete "${SHORTCUT}"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
