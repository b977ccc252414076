; The setup program of Pelorin for 64-bit Windows. scripts/build-setup.sh builds it:
;   makensis /DVERSION=0.1 /DFILE_VERSION=0.1.0.0 /DFILES=folder /DOUTFILE=file Pelorin.nsi
; FILES holds x64\Pelorin.exe, x64\pelorin-client.exe, x64\Pelorin_Client.dll and
; x86\Pelorin_Client.dll (stripped release builds).
;
; A per-machine install: the DLLs' registration writes HKEY_CLASSES_ROOT, which lands in
; HKLM\Software\Classes and needs an administrator. The server keeps its files next to
; itself; standard users get write access to what it writes there in normal use (the data
; folder and log.txt), never to the program files: a folder they may add files to would
; let them plant DLLs that Pelorin.exe, or a program loading the component, loads first.
;
; The installer is a 32-bit program (NSIS's x86 stub). It installs 64-bit programs, so the
; registry view is the 64-bit one throughout, and the 64-bit regsvr32 is reached with the
; file system redirection of System32 switched off.

!macro Require NAME
  !ifndef ${NAME}
    !error "${NAME} is to be defined on makensis' command line (scripts/build-setup.sh)"
  !endif
!macroend
!insertmacro Require VERSION
!insertmacro Require FILE_VERSION
!insertmacro Require FILES
!insertmacro Require OUTFILE

Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin
; A file that cannot be written (a running server) gives retry or cancel, never a skip.
AllowSkipFiles off

!define PRODUCT "Pelorin"
!define PUBLISHER "Pelorin"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define SHORTCUT "$SMPROGRAMS\${PRODUCT}.lnk"
; In the Startup folder of all users: the server starts, listening, when anyone logs on.
!define AUTOSTART_SHORTCUT "$SMSTARTUP\${PRODUCT}.lnk"
; The server's window: its class and caption.
!define SERVER_WINDOW_CLASS "PelorinForm"
!define SERVER_WINDOW_CAPTION "${PRODUCT}"
; The licence shown before anything is installed (makensis works in this file's folder).
!define LICENSE_FILE "../../LICENSE"
; BUILTIN\Users by its SID, whatever the system's language calls the group.
!define USERS_SID "*S-1-5-32-545"

!include FileFunc.nsh
!include LogicLib.nsh
!include MUI2.nsh
!include Sections.nsh
!include x64.nsh

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion ${FILE_VERSION}
VIAddVersionKey /LANG=1033 ProductName "${PRODUCT}"
VIAddVersionKey /LANG=1033 ProductVersion "${VERSION}"
VIAddVersionKey /LANG=1033 FileVersion "${VERSION}"
VIAddVersionKey /LANG=1033 FileDescription "${PRODUCT} ${VERSION} setup"
VIAddVersionKey /LANG=1033 CompanyName "${PUBLISHER}"
VIAddVersionKey /LANG=1033 LegalCopyright "Copyright (C) 2026 The Pelorin developers, MIT licence"

; Pages are for the interactive setup only: /S skips every one of them, the licence too.
!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_LICENSE "${LICENSE_FILE}"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
; Shown only when the setup closed a running server: it offers to start it again.
!define MUI_PAGE_CUSTOMFUNCTION_PRE SkipFinishUnlessClosed
!define MUI_FINISHPAGE_RUN "$INSTDIR\Pelorin.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start ${PRODUCT} again"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Stops with a message (the default answer when silent: no box, exit status 2).
!macro Fail TEXT
  DetailPrint "${TEXT}"
  MessageBox MB_ICONSTOP|MB_OK "${TEXT}" /SD IDOK
  Abort
!macroend

; Both programs refuse to run without 64-bit Windows and administrator rights.
!macro CheckSystem
  ${IfNot} ${RunningX64}
    MessageBox MB_ICONSTOP|MB_OK "${PRODUCT} needs 64-bit Windows." /SD IDOK
    Abort
  ${EndIf}
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "admin"
    MessageBox MB_ICONSTOP|MB_OK "The setup of ${PRODUCT} needs administrator rights." /SD IDOK
    SetErrorLevel 740 ; ERROR_ELEVATION_REQUIRED
    Quit
  ${EndIf}
  SetRegView 64
  SetShellVarContext all
!macroend

; regsvr32 of the DLL's bitness: the 64-bit one is in the real System32, which this 32-bit
; program sees only with redirection off; the 32-bit one is in SysWOW64. OPTIONS is /s or
; "/s /u"; the exit status (0: done) goes to $0, empty when regsvr32 did not start.
!macro Regsvr32 BITS OPTIONS DLL
  !if ${BITS} == 64
    ${DisableX64FSRedirection}
    ExecWait '"$SYSDIR\regsvr32.exe" ${OPTIONS} "${DLL}"' $0
    ${EnableX64FSRedirection}
  !else
    ExecWait '"$WINDIR\SysWOW64\regsvr32.exe" ${OPTIONS} "${DLL}"' $0
  !endif
!macroend

!macro Register BITS DLL
  DetailPrint "Registering ${DLL}"
  !insertmacro Regsvr32 ${BITS} /s "${DLL}"
  ${If} $0 != 0
    !insertmacro Fail "Registering ${DLL} failed (regsvr32: $0)."
  ${EndIf}
!macroend

; Lets standard users change PATH (folder or file); FLAGS are icacls' inheritance flags.
!macro GrantUsersModify PATH FLAGS
  nsExec::ExecToLog '"$SYSDIR\icacls.exe" "${PATH}" /grant ${USERS_SID}:${FLAGS}M'
  Pop $0
  ${If} $0 != 0
    !insertmacro Fail "Giving users write access to ${PATH} failed (icacls: $0)."
  ${EndIf}
!macroend

; The window goes first; the program file stays locked until the process has ended.
!macro WaitUntilFree FILE
  ${If} ${FileExists} "${FILE}"
    ${For} $1 1 101
      ${If} $1 == 101
        !insertmacro Fail "${PRODUCT} does not end: close it and start the setup again."
      ${EndIf}
      ClearErrors
      FileOpen $0 "${FILE}" a
      ${IfNot} ${Errors}
        FileClose $0
        ${Break}
      ${EndIf}
      Sleep 100
    ${Next}
  ${EndIf}
!macroend

; "1" once the setup closed a running server.
Var ClosedServer

; Asks every running server to close, as a user closing its window would (the server
; stops, the program ends), and waits until its program file is free to be replaced:
; an upgrade never meets NSIS's retry box, in silent mode neither.
Function CloseRunningServers
  StrCpy $ClosedServer ""
  ${For} $1 1 50
    FindWindow $0 "${SERVER_WINDOW_CLASS}" "${SERVER_WINDOW_CAPTION}"
    ${If} $0 == 0
      ${Break}
    ${EndIf}
    DetailPrint "Closing the running ${PRODUCT}"
    SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=5000
    StrCpy $ClosedServer 1
    Sleep 100
  ${Next}
  ${If} $ClosedServer == 1
    !insertmacro WaitUntilFree "$INSTDIR\Pelorin.exe"
    ReadRegStr $2 HKLM "${UNINSTALL_KEY}" InstallLocation
    !insertmacro WaitUntilFree "$2\Pelorin.exe"
  ${EndIf}
FunctionEnd

; An installation in another folder (its uninstall entry names it) is removed first, by
; its own uninstaller waiting in place; its data folder and log.txt stay where they are.
Function RemoveEarlierInstallation
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" InstallLocation
  ${If} $0 == ""
  ${OrIf} $0 == $INSTDIR
    Return
  ${EndIf}
  ${IfNot} ${FileExists} "$0\Uninstall.exe"
    Return
  ${EndIf}
  DetailPrint "Removing the earlier installation in $0"
  ExecWait '"$0\Uninstall.exe" /S _?=$0' $1
  ${If} $1 != 0
    !insertmacro Fail "Removing the earlier installation in $0 failed (status $1)."
  ${EndIf}
  Delete "$0\Uninstall.exe"
  RMDir "$0"
  ${If} ${FileExists} "$0\data\*.*"
    DetailPrint "The store of the earlier installation stays in $0\data"
    MessageBox MB_ICONINFORMATION|MB_OK "The earlier installation in $0 was removed. \
      Its store stays in $0\data; move it to $INSTDIR\data to keep using it." /SD IDOK
  ${EndIf}
FunctionEnd

Function SkipFinishUnlessClosed
  ${If} $ClosedServer != 1
    Abort
  ${EndIf}
FunctionEnd

Section "${PRODUCT}" SectionProgram
  SectionIn RO
  Call CloseRunningServers
  Call RemoveEarlierInstallation
  SetOutPath "$INSTDIR"
  File "${FILES}\x64\Pelorin.exe"
  File "${FILES}\x64\pelorin-client.exe"
  File "${FILES}\x64\Pelorin_Client.dll"
  SetOutPath "$INSTDIR\x86"
  File "${FILES}\x86\Pelorin_Client.dll"
  SetOutPath "$INSTDIR"

  ; The uninstaller first: an install that fails below can still be removed.
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" DisplayName "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" DisplayVersion "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" Publisher "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" DisplayIcon "$INSTDIR\Pelorin.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" InstallLocation "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" UninstallString '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" QuietUninstallString '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" NoModify 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" NoRepair 1
  ; In KiB: the program files only, not the data the server keeps.
  SectionGetSize ${SectionProgram} $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" EstimatedSize $0

  !insertmacro Register 64 "$INSTDIR\Pelorin_Client.dll"
  !insertmacro Register 32 "$INSTDIR\x86\Pelorin_Client.dll"

  ; What the server writes in normal use. Both are kept from an earlier install, and so
  ; is anything stored in the data folder.
  CreateDirectory "$INSTDIR\data"
  ${IfNot} ${FileExists} "$INSTDIR\log.txt"
    FileOpen $0 "$INSTDIR\log.txt" w
    FileClose $0
  ${EndIf}
  !insertmacro GrantUsersModify "$INSTDIR\data" "(OI)(CI)"
  !insertmacro GrantUsersModify "$INSTDIR\log.txt" ""

  ; Started by the user, not by the setup program: a server started from here would run
  ; with administrator rights.
  CreateShortCut "${SHORTCUT}" "$INSTDIR\Pelorin.exe" "" "" "" SW_SHOWNORMAL "" \
    "${PRODUCT} store server"
SectionEnd

; Started by each user who logs on, as that user, listening at once.
Section /o "Start ${PRODUCT} when I log on" SectionAutostart
  CreateShortCut "${AUTOSTART_SHORTCUT}" "$INSTDIR\Pelorin.exe" "/START" "" "" \
    SW_SHOWNORMAL "" "${PRODUCT} store server"
SectionEnd

; Unchosen, an earlier install's autostart goes.
Section "-Autostart off"
  ${IfNot} ${SectionIsSelected} ${SectionAutostart}
    Delete "${AUTOSTART_SHORTCUT}"
  ${EndIf}
SectionEnd

; After the sections, whose numbers it uses.
Function .onInit
  !insertmacro CheckSystem
  ; The autostart component: chosen with /AUTOSTART, kept from an earlier install.
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/AUTOSTART" $1
  ${IfNot} ${Errors}
  ${OrIf} ${FileExists} "${AUTOSTART_SHORTCUT}"
    !insertmacro SelectSection ${SectionAutostart}
  ${EndIf}
  ; /D=folder on the command line has set $INSTDIR already; else the folder of an earlier
  ; install, where the data folder of that install is.
  ${If} $INSTDIR == ""
    ReadRegStr $INSTDIR HKLM "${UNINSTALL_KEY}" InstallLocation
  ${EndIf}
  ${If} $INSTDIR == ""
    StrCpy $INSTDIR "$PROGRAMFILES64\${PRODUCT}"
  ${EndIf}
FunctionEnd

Function un.onInit
  !insertmacro CheckSystem
FunctionEnd

; Removes what the setup program installed and nothing the server wrote: the data folder
; and log.txt stay (and with them the install folder), for a later install to find.
; Files still in use (a running server, a program holding the component) go at the next
; restart.
Section Uninstall
  ; Unregistering goes on after a failure: the rest is removed in any case.
  DetailPrint "Unregistering the component"
  !insertmacro Regsvr32 64 "/s /u" "$INSTDIR\Pelorin_Client.dll"
  DetailPrint "64-bit regsvr32 /u: $0"
  !insertmacro Regsvr32 32 "/s /u" "$INSTDIR\x86\Pelorin_Client.dll"
  DetailPrint "32-bit regsvr32 /u: $0"

  Delete "${SHORTCUT}"
  Delete "${AUTOSTART_SHORTCUT}"
  Delete /REBOOTOK "$INSTDIR\Pelorin.exe"
  Delete /REBOOTOK "$INSTDIR\pelorin-client.exe"
  Delete /REBOOTOK "$INSTDIR\Pelorin_Client.dll"
  Delete /REBOOTOK "$INSTDIR\x86\Pelorin_Client.dll"
  RMDir /REBOOTOK "$INSTDIR\x86"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ${If} ${RebootFlag}
    MessageBox MB_ICONINFORMATION|MB_OK \
      "Files in use are removed when Windows starts again." /SD IDOK
  ${EndIf}
SectionEnd
