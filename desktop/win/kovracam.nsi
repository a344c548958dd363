; The Windows installer: kovracam.exe and its language modules in Program Files, a Start menu
; entry, and an uninstaller listed in Add/Remove Programs that takes all of it away again.
; scripts/package-windows compiles it with makensis, defining
;   VERSION      the program's version (1.0)
;   FILE_VERSION the same in four numbers (1.0.0.0), for the installer's version resource
;   COPYRIGHT    the copyright line, as the program's version resource has it
;   STAGE        the folder holding kovracam.exe, Language\*.dll and files.nsh
;   ICON         the program's icon
;   SIZE_KB      the installed size, for Add/Remove Programs
;   OUTFILE      the installer to write
; files.nsh defines the macros InstallModules and RemoveModules: the exact list of the staged
; language modules, so that the uninstaller removes what this installer put there and nothing
; else.

Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!define PRODUCT "KOVRACAM"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
Icon "${ICON}"
UninstallIcon "${ICON}"
; A 32-bit program: on 64-bit Windows this is "Program Files (x86)".
InstallDir "$PROGRAMFILES\${PRODUCT}"
; Installing again goes where the last installation went.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${FILE_VERSION}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT} ${VERSION} Setup"
VIAddVersionKey "LegalCopyright" "${COPYRIGHT}"
VIAddVersionKey "CompanyName" "KOVRACAM developers"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

!include "${STAGE}/files.nsh"

Section "Install"
  SetShellVarContext all
  ; The modules of an earlier version: the program loads every module in the folder, so none
  ; of another version may stay beside the new ones.
  Delete "$INSTDIR\Language\*.dll"
  SetOutPath "$INSTDIR"
  File "${STAGE}/kovracam.exe"
  !insertmacro InstallModules
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The program finds Language\ (and keeps HardWare.KRV) in its current directory: the
  ; shortcut starts it in the installation folder (SetOutPath sets the shortcut's "Start in").
  SetOutPath "$INSTDIR"
  CreateShortCut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\kovracam.exe" "" \
    "$INSTDIR\kovracam.exe" 0 SW_SHOWNORMAL "" "Camera preview, recording and snapshots"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "KOVRACAM developers"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\kovracam.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" ${SIZE_KB}
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  SetShellVarContext all
  ; A running program cannot be deleted: then nothing is removed, and the user is told so.
  ClearErrors
  Delete "$INSTDIR\kovracam.exe"
  IfErrors 0 +3
    MessageBox MB_OK|MB_ICONSTOP "KOVRACAM is running. Close it, then uninstall again." /SD IDOK
    Abort "KOVRACAM is running."
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  !insertmacro RemoveModules
  RMDir "$INSTDIR\Language"
  ; The camera chosen last, which the program writes where it runs.
  Delete "$INSTDIR\HardWare.KRV"
  Delete "$INSTDIR\uninstall.exe"
  ; Only when empty: recordings or snapshots saved here stay, and so does their folder.
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
