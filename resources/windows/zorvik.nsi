; The Windows installer of the ZORVIK desktop software: the two windows,
; zorvik.exe and what they load, into one folder under Program Files, with
; Start menu entries, the two file types and an entry in Windows' list of
; installed programs. Built by scripts/package-windows.sh, which hands in:
;
;   ZORVIK_PRODUCT  the build tree's installer-product.nsh: the product's
;                   name, publisher and version, as CMake has them
;   ZORVIK_FILES    a generated include with the macros ZorvikInstallFiles
;                   and ZorvikRemoveFiles: every file of the deploy folder,
;                   named one by one (files.nsh in the build tree)
;   ZORVIK_OUTFILE  the setup program to write
;
; The uninstaller removes exactly what was installed: the folder may be one
; the user chose and shares with files of their own, so nothing is removed
; by wildcard or recursively.

Unicode true
; The programs are 64-bit; so is the installer, which then sees the real
; Program Files and the 64-bit registry without redirection.
Target amd64-unicode
SetCompressor /SOLID lzma
ManifestDPIAware true

!macro RequireDefine NAME
  !ifndef ${NAME}
    !error "${NAME} is not defined: build with scripts/package-windows.sh"
  !endif
!macroend
!insertmacro RequireDefine ZORVIK_PRODUCT
!insertmacro RequireDefine ZORVIK_FILES
!insertmacro RequireDefine ZORVIK_OUTFILE

!include MUI2.nsh
!include LogicLib.nsh
!include "${ZORVIK_FILES}"
!include "${ZORVIK_PRODUCT}"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\ZORVIK"
!define SETTINGS_EXE "ZORVIKMicroSettings.exe"
!define UPDATER_EXE "ZORVIKUpdater.exe"
; Our own file types: firmware update files open in the updater, a pilot's
; saved settings in the settings window.
!define UPDATE_PROGID "ZORVIK.UpdateFile"
!define SETTINGS_PROGID "ZORVIK.SettingsFile"
; SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST): Explorer picks up the
; changed associations and icons without a new login.
!define NOTIFY_ASSOCIATIONS "shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)"

Name "${PRODUCT} ${ZORVIK_VERSION}"
OutFile "${ZORVIK_OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
; Installing again (an update) offers the folder of the last installation.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
BrandingText "${PRODUCT} ${ZORVIK_VERSION}"

; The version block of the setup program (Explorer's Properties).
VIProductVersion "${ZORVIK_VERSION}.0"
VIFileVersion "${ZORVIK_VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${ZORVIK_VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${ZORVIK_VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} ${ZORVIK_VERSION} Setup"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${PUBLISHER}"

!define MUI_ICON "zorvik.ico"
!define MUI_UNICON "zorvik.ico"
!define MUI_ABORTWARNING
!define MUI_WELCOMEPAGE_TEXT "This installs ZORVIK Micro Settings, the ZORVIK Updater and the command line zorvik ${ZORVIK_VERSION}: the desktop software of the ZORVIK flybarless unit, which reaches the unit through its KORLINK USB-serial adapter.$\r$\n$\r$\nClose the ZORVIK programs before you continue.$\r$\n$\r$\n$_CLICK"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Function .onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
  ; The folder as the installer wrote it into the registry, also when the
  ; uninstaller was started in place with a short or differently written
  ; _?= path: what is removed from the registry is recognised by it.
  System::Call 'kernel32::GetLongPathNameW(w "$INSTDIR", w .r0, i ${NSIS_MAX_STRLEN}) i .r1'
  ${If} $1 <> 0
    StrCpy $INSTDIR $0
  ${EndIf}
FunctionEnd

; RegisterType EXTENSION PROGID DESCRIPTION PROGRAM: files with the extension
; open in the program, shown with its icon and the description.
!macro RegisterType EXTENSION PROGID DESCRIPTION PROGRAM
  WriteRegStr HKLM "Software\Classes\${PROGID}" "" "${DESCRIPTION}"
  WriteRegStr HKLM "Software\Classes\${PROGID}\DefaultIcon" "" "$INSTDIR\${PROGRAM},0"
  WriteRegStr HKLM "Software\Classes\${PROGID}\shell\open\command" "" '"$INSTDIR\${PROGRAM}" "%1"'
  WriteRegStr HKLM "Software\Classes\${EXTENSION}" "" "${PROGID}"
  ; Stays in Explorer's "Open with" even when another program takes the
  ; extension later.
  WriteRegStr HKLM "Software\Classes\${EXTENSION}\OpenWithProgids" "${PROGID}" ""
!macroend

; UnregisterType EXTENSION PROGID PROGRAM: removes the type only while it is
; still this installation's: another installation of ours (another folder)
; that registered it last keeps it, and so does a program that has taken
; the extension over.
!macro UnregisterType EXTENSION PROGID PROGRAM
  ReadRegStr $0 HKLM "Software\Classes\${PROGID}\shell\open\command" ""
  ${If} $0 == '"$INSTDIR\${PROGRAM}" "%1"'
    DeleteRegKey HKLM "Software\Classes\${PROGID}"
    DeleteRegValue HKLM "Software\Classes\${EXTENSION}\OpenWithProgids" "${PROGID}"
    DeleteRegKey /ifempty HKLM "Software\Classes\${EXTENSION}\OpenWithProgids"
    ReadRegStr $0 HKLM "Software\Classes\${EXTENSION}" ""
    ${If} $0 == "${PROGID}"
      DeleteRegValue HKLM "Software\Classes\${EXTENSION}" ""
    ${EndIf}
    DeleteRegKey /ifempty HKLM "Software\Classes\${EXTENSION}"
  ${EndIf}
!macroend

Section "ZORVIK" SecPrograms
  SectionIn RO
  !insertmacro ZorvikInstallFiles
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  CreateShortcut "$SMPROGRAMS\ZORVIK Micro Settings.lnk" "$INSTDIR\${SETTINGS_EXE}" "" \
      "$INSTDIR\${SETTINGS_EXE}" 0 SW_SHOWNORMAL "" "Read and edit the flight parameters of a ZORVIK unit"
  CreateShortcut "$SMPROGRAMS\ZORVIK Updater.lnk" "$INSTDIR\${UPDATER_EXE}" "" \
      "$INSTDIR\${UPDATER_EXE}" 0 SW_SHOWNORMAL "" "Install a firmware update on a ZORVIK unit"

  !insertmacro RegisterType ".upd" "${UPDATE_PROGID}" "ZORVIK firmware update" "${UPDATER_EXE}"
  !insertmacro RegisterType ".zset" "${SETTINGS_PROGID}" "ZORVIK settings" "${SETTINGS_EXE}"
  System::Call "${NOTIFY_ASSOCIATIONS}"

  ; Windows' list of installed programs.
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${ZORVIK_VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${SETTINGS_EXE},0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ; The installed files in KB, as the compiler counted them for this section.
  SectionGetSize ${SecPrograms} $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Uninstall"
  !insertmacro UnregisterType ".upd" "${UPDATE_PROGID}" "${UPDATER_EXE}"
  !insertmacro UnregisterType ".zset" "${SETTINGS_PROGID}" "${SETTINGS_EXE}"
  System::Call "${NOTIFY_ASSOCIATIONS}"

  Delete "$SMPROGRAMS\ZORVIK Micro Settings.lnk"
  Delete "$SMPROGRAMS\ZORVIK Updater.lnk"

  !insertmacro ZorvikRemoveFiles
  Delete "$INSTDIR\Uninstall.exe"
  ; Only when empty: a folder with files of the user's stays.
  RMDir "$INSTDIR"

  ; The entry names the installation made last: one in another folder keeps
  ; its entry.
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 == "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ${EndIf}
SectionEnd
