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
;
; Exit codes: 0 done; 1 cancelled; 2 Winamp or an Orvela agent (in any
; session) runs, or a file to replace is in use (a player in another user's
; session holds the plug-ins loaded): nothing was changed; 3 the folder
; holds no winamp.exe; 4 (uninstall) files of Orvela could not be removed,
; and its entries are kept; 5 a file could not be written after all (the
; install is incomplete: run it again).
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
; Every running agent holds it, whichever user's session it runs in.
!define AGENT_MUTEX "Global\OrvelaAgentRunning"
; Inbound rules: other computers send presence to the player and requests to
; the agent unasked, which the firewall would drop.
!define RULE_AGENT "Orvela agent requests (UDP 5146)"
!define RULE_PRESENCE "Orvela presence for Winamp (UDP 5145)"
!define RULE_AGENT_PRESENCE "Orvela agent presence (UDP 5145)"

Name "Orvela ${VERSION}"
OutFile "${OUTFILE}"
RequestExecutionLevel admin
; No InstallDir: an empty $INSTDIR in .onInit tells that /D= named no folder.
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
; Refuses, before anything changes, when a file to replace cannot be opened
; for writing: Windows keeps a DLL that any process has loaded, in any
; session, from being written, and a silent install would skip it.
!macro RefuseInUse file
  ${If} ${FileExists} "${file}"
    ClearErrors
    FileOpen $R9 "${file}" a
    ${If} ${Errors}
      SetErrorLevel 2
      Abort "${file} is in use (Winamp may run in another user's session): close the programs that use it, then run this again."
    ${EndIf}
    FileClose $R9
  ${EndIf}
!macroend

!macro RefuseWhileRunning un
Function ${un}RefuseWhileRunning
  retry:
  FindWindow $0 "${PLAYER_CLASS}"
  ; The mutex exists while any agent runs; another user's may be closed to
  ; us (access denied, 5), which says as much.
  System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "${AGENT_MUTEX}") p.r1 ?e'
  Pop $2
  ${If} $1 <> 0
    System::Call 'kernel32::CloseHandle(p r1)'
  ${EndIf}
  ${If} $0 <> 0
  ${OrIf} $1 <> 0
  ${OrIf} $2 = 5
    IfSilent 0 +3
      SetErrorLevel 2
      Abort "Winamp or the Orvela agent is running: close both, then run this again."
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "Winamp or the Orvela agent is running.$\r$\nClose Winamp, and choose Exit in the Orvela agent's menu (notification area) of every user logged on to this computer, then choose Retry." IDRETRY retry
    Abort
  ${EndIf}
FunctionEnd
!macroend

; Runs the system's firewall command; a rule it cannot add leaves the
; install working on computers whose firewall is off or managed elsewhere.
!macro Firewall arguments
  nsExec::Exec '"$SYSDIR\netsh.exe" advfirewall firewall ${arguments}'
  Pop $9
!macroend

!insertmacro RefuseWhileRunning ""
!insertmacro RefuseWhileRunning "un."

Function .onInit
  SetShellVarContext all
  ; The player's folder is that of its uninstaller, unless /D= named one
  ; (NSIS takes /D= off the command line and puts it in $INSTDIR itself).
  ${If} $INSTDIR == ""
    StrCpy $INSTDIR "$PROGRAMFILES\Winamp"
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
  StrCpy $1 "$PROGRAMFILES\Orvela"
  !insertmacro RefuseInUse "$0\gen_orvela.dll"
  !insertmacro RefuseInUse "$0\in_orvela.dll"
  !insertmacro RefuseInUse "$1\orvela_agent.exe"
  ; A file that cannot be written is skipped by a silent install, which
  ; only sets the error flag: never reported as success.
  ClearErrors
  SetOutPath $0
  File "${BINARIES}\gen_orvela.dll"
  File "${BINARIES}\in_orvela.dll"
  SetOutPath $1
  File "${BINARIES}\orvela_agent.exe"
  ${If} ${Errors}
    SetErrorLevel 5
    Abort "Some of Orvela's files could not be written: close the programs that use them, then run this again."
  ${EndIf}
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

  ; Deleted first: netsh adds a second rule of the same name otherwise.
  !insertmacro Firewall 'delete rule name="${RULE_AGENT}"'
  !insertmacro Firewall 'add rule name="${RULE_AGENT}" dir=in action=allow protocol=UDP localport=5146 remoteip=localsubnet program="$1\orvela_agent.exe"'
  !insertmacro Firewall 'delete rule name="${RULE_PRESENCE}"'
  !insertmacro Firewall 'add rule name="${RULE_PRESENCE}" dir=in action=allow protocol=UDP localport=5145 remoteip=localsubnet program="$INSTDIR\winamp.exe"'
  ; The agent hears the group too, for the names computers announce.
  !insertmacro Firewall 'delete rule name="${RULE_AGENT_PRESENCE}"'
  !insertmacro Firewall 'add rule name="${RULE_AGENT_PRESENCE}" dir=in action=allow protocol=UDP localport=5145 remoteip=localsubnet program="$1\orvela_agent.exe"'

  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/NOSTART" $R1
  ${If} ${Errors}
    ; As the logged-on user runs programs, not elevated as we are.
    InitPluginsDir
    File "/oname=$PLUGINSDIR\start_as_user.exe" "${BINARIES}\start_as_user.exe"
    ExecWait '"$PLUGINSDIR\start_as_user.exe" "$1\orvela_agent.exe"' $2
    ${If} $2 != 0
      DetailPrint "The Orvela agent starts at the next logon."
    ${EndIf}
  ${EndIf}
SectionEnd

Function un.onInit
  SetShellVarContext all
  Call un.RefuseWhileRunning
FunctionEnd

Section "Uninstall"
  ; The files go first: while one of them is left, the entries stay, so the
  ; uninstaller can be run again.
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "PluginsFolder"
  ClearErrors
  ${If} $0 != ""
    Delete "$0\gen_orvela.dll"
    Delete "$0\in_orvela.dll"
  ${EndIf}
  Delete "$INSTDIR\orvela_agent.exe"
  ${If} ${Errors}
    SetErrorLevel 4
    Abort "Some of Orvela's files are in use and were not removed: close the programs that use them, then uninstall again."
  ${EndIf}
  ; Run in place (_?=), the uninstaller cannot delete itself and stays; not
  ; until a restart either, which would take the next install's with it.
  Delete "$INSTDIR\uninstall.exe"
  ; Left in place when the agent's settings file is there.
  RMDir "$INSTDIR"
  !insertmacro Firewall 'delete rule name="${RULE_AGENT}"'
  !insertmacro Firewall 'delete rule name="${RULE_PRESENCE}"'
  !insertmacro Firewall 'delete rule name="${RULE_AGENT_PRESENCE}"'
  DeleteRegValue HKLM "${RUN_KEY}" "${RUN_VALUE}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
