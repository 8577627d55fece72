; The per-user installer: no administrator rights, into the user's own programs folder,
; which stays writable because the game keeps its settings and best score beside itself.
;   makensis -INPUTCHARSET UTF8 -DVERSION=x.y.z -DSTAGE=DIR -DOUTFILE=FILE -DICON=FILE installer.nsi
; STAGE holds the program folder's files, 設定.exe staged as settings.exe (ASCII names are
; safe on any host's file system and locale).
Unicode true
Target amd64-unicode
ManifestDPIAware true
RequestExecutionLevel user
SetCompressor /SOLID lzma

!define PRODUCT "Zorbilo"
!define PUBLISHER "Zorbilo"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Zorbilo"

Name "${PRODUCT}"
BrandingText "Zorbilo ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Zorbilo"
; An earlier installation is updated where it is.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=0 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=0 "FileDescription" "Zorbilo ${VERSION} setup"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=0 "LegalCopyright" "Zorbilo"

!include "MUI2.nsh"
!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\Zorbilo.exe"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
; The player's own language where there is one, else English.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Japanese"

Section "Zorbilo"
  SetShellVarContext current
  SetOutPath "$INSTDIR"
  File "${STAGE}/Zorbilo.exe"
  File "/oname=設定.exe" "${STAGE}/settings.exe"
  File "${STAGE}/START.wav"
  File "${STAGE}/SWAT.wav"
  File "${STAGE}/MISS.wav"
  File "${STAGE}/CLEAR.wav"
  File "${STAGE}/TIMEUP.wav"
  File "${STAGE}/BGM.mid"
  File "${STAGE}/FINAL.mid"
  File "${STAGE}/README.txt"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  CreateDirectory "$SMPROGRAMS\Zorbilo"
  CreateShortcut "$SMPROGRAMS\Zorbilo\Zorbilo.lnk" "$INSTDIR\Zorbilo.exe" "" "$INSTDIR\Zorbilo.exe" 0
  CreateShortcut "$SMPROGRAMS\Zorbilo\Zorbilo 設定.lnk" "$INSTDIR\設定.exe" "" "$INSTDIR\設定.exe" 0

  ; The entry in the list of installed programs.
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Zorbilo.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" ${SIZE_KB}
SectionEnd

; Removes exactly what was installed. The player's Zorbilo.ini and ハイスコア.txt stay, and with
; them the folder; an empty folder goes.
Section "Uninstall"
  SetShellVarContext current
  Delete "$INSTDIR\Zorbilo.exe"
  Delete "$INSTDIR\設定.exe"
  Delete "$INSTDIR\START.wav"
  Delete "$INSTDIR\SWAT.wav"
  Delete "$INSTDIR\MISS.wav"
  Delete "$INSTDIR\CLEAR.wav"
  Delete "$INSTDIR\TIMEUP.wav"
  Delete "$INSTDIR\BGM.mid"
  Delete "$INSTDIR\FINAL.mid"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"

  Delete "$SMPROGRAMS\Zorbilo\Zorbilo.lnk"
  Delete "$SMPROGRAMS\Zorbilo\Zorbilo 設定.lnk"
  RMDir "$SMPROGRAMS\Zorbilo"

  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
