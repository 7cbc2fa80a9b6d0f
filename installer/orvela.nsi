; Orvela's installer: both plug-ins into the player's Plugins folder, the
; agent into a folder of its own with a start-with-Windows entry, and an
; uninstaller that removes exactly what was installed. Settings files
; (gen_orvela.ini, orvela_agent.ini) are never written nor removed, so an
; install over an older one keeps them.
;
;   makensis -DVERSION=1.2.3 -DTARGET=x86-unicode -DBINARIES=DIR -DOUTFILE=FILE orvela.nsi
;
; Silent use: setup.exe /S [/NOSTART] [/D=PLAYER_FOLDER] (the folder last, unquoted).
; /NOSTART leaves the agent to start at the next logon.
Unicode true
Target ${TARGET}
SetCompressor /SOLID lzma

!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "WordFunc.nsh"

!define PLAYER_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Winamp"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Orvela"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define RUN_VALUE "Orvela agent"
!define PLAYER_CLASS "Winamp v1.x"
!define AGENT_CLASS "OrvelaAgent"

Name "Orvela ${VERSION}"
OutFile "${OUTFILE}"
RequestExecutionLevel admin
InstallDir "$PROGRAMFILES\Winamp"
ShowInstDetails show

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "Orvela"
VIAddVersionKey "CompanyName" "Orvela"
VIAddVersionKey "FileDescription" "Orvela installer"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Orvela"

DirText "Orvela installs its two plug-ins into the Plugins folder of Winamp. Choose the folder that holds winamp.exe." "Winamp folder"
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; Says so, and stops, while the player or the agent runs: their files are in
; use and settings could be written behind our back.
!macro RefuseWhileRunning un
Function ${un}RefuseWhileRunning
  retry:
  FindWindow $0 "${PLAYER_CLASS}"
  FindWindow $1 "${AGENT_CLASS}"
  ${If} $0 <> 0
  ${OrIf} $1 <> 0
    IfSilent 0 +3
      SetErrorLevel 2
      Abort "Winamp or the Orvela agent is running: close both, then run this again."
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "Winamp or the Orvela agent is running.$\r$\nClose Winamp, and choose Exit in the Orvela agent's menu (notification area), then choose Retry." IDRETRY retry
    Abort
  ${EndIf}
FunctionEnd
!macroend
!insertmacro RefuseWhileRunning ""
!insertmacro RefuseWhileRunning "un."

Function .onInit
  SetShellVarContext all
  ; The player's folder is that of its uninstaller, unless /D= named one.
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/D=" $R1
  ${If} ${Errors}
    ReadRegStr $0 HKLM "${PLAYER_KEY}" "UninstallString"
    ${If} $0 == ""
      ReadRegStr $0 HKCU "${PLAYER_KEY}" "UninstallString"
    ${EndIf}
    ${If} $0 != ""
      StrCpy $1 $0 1
      ${If} $1 == '"'
        StrCpy $0 $0 "" 1
        ${WordFind} $0 '"' "+1" $0
      ${EndIf}
      ${GetParent} $0 $INSTDIR
    ${EndIf}
  ${EndIf}
  Call RefuseWhileRunning
FunctionEnd

Function .onVerifyInstDir
  IfFileExists "$INSTDIR\winamp.exe" +2
    Abort
FunctionEnd

Section "Orvela"
  ; Silent runs skip the folder page and its check.
  ${IfNot} ${FileExists} "$INSTDIR\winamp.exe"
    SetErrorLevel 3
    Abort "$INSTDIR holds no winamp.exe: name the Winamp folder."
  ${EndIf}
  StrCpy $0 "$INSTDIR\Plugins"
  SetOutPath $0
  File "${BINARIES}\gen_orvela.dll"
  File "${BINARIES}\in_orvela.dll"

  StrCpy $1 "$PROGRAMFILES\Orvela"
  SetOutPath $1
  File "${BINARIES}\orvela_agent.exe"
  WriteRegStr HKLM "${RUN_KEY}" "${RUN_VALUE}" '"$1\orvela_agent.exe"'
  WriteUninstaller "$1\uninstall.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Orvela"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Orvela"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$1"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "PluginsFolder" "$0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$1\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$1\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1

  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/NOSTART" $R1
  ${If} ${Errors}
    Exec '"$1\orvela_agent.exe"'
  ${EndIf}
SectionEnd

Function un.onInit
  SetShellVarContext all
  Call un.RefuseWhileRunning
FunctionEnd

Section "Uninstall"
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "PluginsFolder"
  ${If} $0 != ""
    Delete "$0\gen_orvela.dll"
    Delete "$0\in_orvela.dll"
  ${EndIf}
  Delete "$INSTDIR\orvela_agent.exe"
  Delete "$INSTDIR\uninstall.exe"
  ; Left in place when the agent's settings file is there.
  RMDir "$INSTDIR"
  DeleteRegValue HKLM "${RUN_KEY}" "${RUN_VALUE}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
