; The installer of Mirtak小工具合集, made by tools/package.sh (called by ./release.sh):
;   makensis -INPUTCHARSET UTF8 -DMT_DEFINES=<tree>/generated/release.nsh -DMT_EXE=<exe>
;            -DMT_OUTFILE=<setup.exe> [-DMT_SIGN=<command signing the file given to it>]
;            installer/MirtakTools.nsi
;
; A 64-bit installer for the 64-bit program: it installs into the 64-bit Program Files and
; writes the uninstall entry in the 64-bit registry view, where the system's "应用和功能"
; lists 64-bit programs.
;
; Command line:
;   /S              silent: no pages; the uninstaller then keeps the "备份" folder
;   /update         started by the program's own update: install over the copy that the
;                   download came from (the folder above "rar\", when the program is there;
;                   otherwise the /D= folder), wait for that copy to end, then start the
;                   newly installed program
;   /D=<folder>     the installation folder (NSIS's own option; last on the line)

Unicode true
Target amd64-unicode
ManifestDPIAware true
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!include "${MT_DEFINES}"
!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"

!define APP_NAME "Mirtak小工具合集"
!define APP_EXE "MirtakTools.exe"
!define UNINSTALLER "uninst.exe"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\MirtakTools"
!define MENU_FOLDER "$SMPROGRAMS\${APP_NAME}"
!define BACKUP_FOLDER "备份"

Name "${APP_NAME}"
Caption "${APP_NAME} ${MT_PROGRAM_VERSION} 安装"
OutFile "${MT_OUTFILE}"
InstallDir "$PROGRAMFILES64\${APP_NAME}"
; A later installer finds the folder of the copy installed before.
InstallDirRegKey HKLM "${UNINST_KEY}" "InstallLocation"
BrandingText "${APP_NAME} ${MT_PROGRAM_VERSION}"
ShowInstDetails nevershow
ShowUninstDetails nevershow

!ifdef MT_SIGN
  ; Both commands get the path of the file just written as %1 and must sign it in place.
  !uninstfinalize '"${MT_SIGN}" "%1"' = 0
  !finalize '"${MT_SIGN}" "%1"' = 0
!endif

; The installer's version resource agrees with the program's.
VIProductVersion "${MT_VERSION}"
VIFileVersion "${MT_VERSION}"

!define MUI_ICON "${NSISDIR}\Contrib\Graphics\Icons\modern-install.ico"
!define MUI_UNICON "${NSISDIR}\Contrib\Graphics\Icons\modern-uninstall.ico"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\${APP_EXE}"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "ProductName" "${APP_NAME}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "CompanyName" "${MT_COMPANY_NAME}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileDescription" "小工具合集"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "FileVersion" "${MT_VERSION}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "ProductVersion" "${MT_VERSION}"
VIAddVersionKey /LANG=${LANG_SIMPCHINESE} "LegalCopyright" "${MT_COMPANY_NAME}"

Var UpdateMode

; Waits until the program in $INSTDIR has ended: a running program's file cannot be opened
; for writing. The update starts the installer about a second before the program ends.
!macro WAIT_FOR_PROGRAM un
Function ${un}WaitForProgram
  Push $0
  Push $1
  StrCpy $1 0
  ${DoWhile} ${FileExists} "$INSTDIR\${APP_EXE}"
    ClearErrors
    FileOpen $0 "$INSTDIR\${APP_EXE}" a
    ${IfNot} ${Errors}
      FileClose $0
      ${Break}
    ${EndIf}
    ; Said on the page at once, not only when the wait has run out.
    ${If} $1 == 0
      DetailPrint "正在等待 ${APP_NAME} 退出…"
    ${EndIf}
    IntOp $1 $1 + 1
    ${If} $1 >= 60
      MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
        "${APP_NAME}正在运行，请先关闭它，然后点“重试”。" /SD IDCANCEL IDRETRY retry
      SetErrorLevel 3
      Quit
      retry:
      StrCpy $1 0
    ${EndIf}
    Sleep 500
  ${Loop}
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro WAIT_FOR_PROGRAM ""
!insertmacro WAIT_FOR_PROGRAM "un."

Function .onInit
  SetRegView 64
  StrCpy $UpdateMode 0
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/update" $1
  ${IfNot} ${Errors}
    StrCpy $UpdateMode 1
    ; A download beside the program lies in "<program folder>\rar\": upgrade that very copy.
    ; A per-user download (the program's folder was not writable) lies elsewhere and names
    ; the copy with /D=, which NSIS has already put in $INSTDIR.
    ${GetParent} "$EXEDIR" $1
    ${If} ${FileExists} "$1\${APP_EXE}"
      StrCpy $INSTDIR $1
    ${EndIf}
  ${EndIf}
FunctionEnd

Section "${APP_NAME}" SecMain
  SectionIn RO
  SetShellVarContext all
  SetRegView 64
  Call WaitForProgram
  SetOutPath "$INSTDIR"
  ; Only the program and the uninstaller are written: the user's "config.ini" and "备份"
  ; beside them stay as they are.
  File "/oname=${APP_EXE}" "${MT_EXE}"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  CreateDirectory "${MENU_FOLDER}"
  CreateShortcut "${MENU_FOLDER}\${APP_NAME}.lnk" "$INSTDIR\${APP_EXE}" "" \
    "$INSTDIR\${APP_EXE}" 0
  CreateShortcut "${MENU_FOLDER}\卸载${APP_NAME}.lnk" "$INSTDIR\${UNINSTALLER}"

  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "${APP_NAME}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${MT_VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "${MT_COMPANY_NAME}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\${APP_EXE},0"
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
  ; In KiB: what this installer put there (the two programs), not the user's files.
  ${GetSize} "$INSTDIR" "/M=*.exe /S=0K /G=0" $0 $1 $2
  WriteRegDWORD HKLM "${UNINST_KEY}" "EstimatedSize" $0
SectionEnd

Function .onInstSuccess
  ${If} $UpdateMode == 1
    Exec '"$INSTDIR\${APP_EXE}"'
  ${EndIf}
FunctionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

Section "Uninstall"
  SetShellVarContext all
  SetRegView 64
  Call un.WaitForProgram
  Delete "$INSTDIR\${APP_EXE}"
  ; What the program wrote beside itself: its settings and the last downloaded installer.
  Delete "$INSTDIR\config.ini"
  Delete "$INSTDIR\rar\tbxsetup.exe"
  RMDir "$INSTDIR\rar"
  Delete "${MENU_FOLDER}\${APP_NAME}.lnk"
  Delete "${MENU_FOLDER}\卸载${APP_NAME}.lnk"
  RMDir "${MENU_FOLDER}"
  DeleteRegKey HKLM "${UNINST_KEY}"
  ; The backups are what the user needs to undo the tools' deletions: removed only when the
  ; user says so, never in silent mode.
  ${If} ${FileExists} "$INSTDIR\${BACKUP_FOLDER}\*.*"
    MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 \
      "是否同时删除“${BACKUP_FOLDER}”文件夹？$\r$\n其中保存着本程序删除启动项、浏览器加载项等之前做的备份，删除后将无法恢复。" \
      /SD IDNO IDNO keep_backups
    RMDir /r "$INSTDIR\${BACKUP_FOLDER}"
    keep_backups:
  ${EndIf}
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir "$INSTDIR"
SectionEnd
