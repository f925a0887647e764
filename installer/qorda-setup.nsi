; Velmora QORDA Setup: installs both ASIO driver DLLs, the QORDA-8 volume panel and the
; kaskade-host tool, registers each DLL with the regsvr32 of its own bitness, and starts
; the panel in the tray at logon. /S installs silently; the uninstaller takes /S too, and
; /REMOVESETTINGS to delete the drivers' per-user settings as well.
;
; Defines from tools/make-installer: VERSION (x.y.z), I686_BIN, X86_64_BIN, OUTFILE.

Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include x64.nsh

!define PRODUCT "Velmora QORDA"
!define PUBLISHER "Velmora"
!define DRIVER32 "Velmora ASIO QORDA DESK PRO"
!define DRIVER64 "VelmoraAsioQorda8"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Velmora QORDA"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define PANEL "QORDA-8.exe"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\Velmora\QORDA"
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${PUBLISHER}"

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\${PANEL}"
!define MUI_FINISHPAGE_RUN_PARAMETERS "-M"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Hosts and the panel keep their files open, and Windows lets a file in use be renamed but
; not replaced: move such a file aside and delete it at the next restart, so the new one
; can be written now and is what every program loads from then on.
Function MoveAsideIfBusy
    Exch $0
    ${If} ${FileExists} "$0"
        ClearErrors
        Delete "$0"
        ${If} ${Errors}
            Delete "$0.old"
            Rename "$0" "$0.old"
            Delete /REBOOTOK "$0.old"
        ${EndIf}
    ${EndIf}
    Pop $0
FunctionEnd

!macro PlaceFile source target
    Push "${target}"
    Call MoveAsideIfBusy
    File "/oname=${target}" "${source}"
!macroend

; Runs regsvr32 (full path, already quoted as needed) on a DLL and aborts when it fails.
!macro Regsvr32 regsvr32 options dll
    ClearErrors
    ExecWait '"${regsvr32}" /s ${options} "${dll}"' $0
    ${If} ${Errors}
    ${OrIf} $0 != 0
        MessageBox MB_ICONSTOP|MB_OK "regsvr32 ${options} failed for ${dll} ($0)." /SD IDOK
        SetErrorLevel 2
        Abort
    ${EndIf}
!macroend

Function .onInit
    ${If} ${RunningX64}
        SetRegView 64
        StrCpy $INSTDIR "$PROGRAMFILES64\Velmora\QORDA"
    ${EndIf}
    ; An upgrade goes where the installed version is.
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 != ""
        StrCpy $INSTDIR $0
    ${EndIf}
FunctionEnd

Section "Install"
    SetOutPath "$INSTDIR"
    ${If} ${RunningX64}
        ; The 32-bit DLL into the program folder, registered by the 32-bit regsvr32 so that
        ; it lands in the 32-bit registry view; the 64-bit DLL likewise in the 64-bit view.
        !insertmacro PlaceFile "${I686_BIN}/kaskade.dll" "$INSTDIR\kaskade.dll"
        !insertmacro PlaceFile "${X86_64_BIN}/kaskade64.dll" "$INSTDIR\kaskade64.dll"
        !insertmacro PlaceFile "${X86_64_BIN}/kaskade-host.exe" "$INSTDIR\kaskade-host.exe"
        CreateDirectory "$INSTDIR\x86"
        !insertmacro PlaceFile "${I686_BIN}/kaskade-host.exe" "$INSTDIR\x86\kaskade-host.exe"
    ${Else}
        !insertmacro PlaceFile "${I686_BIN}/kaskade.dll" "$INSTDIR\kaskade.dll"
        !insertmacro PlaceFile "${I686_BIN}/kaskade-host.exe" "$INSTDIR\kaskade-host.exe"
    ${EndIf}
    !insertmacro PlaceFile "${I686_BIN}/${PANEL}" "$INSTDIR\${PANEL}"
    Push "$INSTDIR\uninstall.exe"
    Call MoveAsideIfBusy
    WriteUninstaller "$INSTDIR\uninstall.exe"

    ${If} ${RunningX64}
        !insertmacro Regsvr32 "$WINDIR\SysWOW64\regsvr32.exe" "" "$INSTDIR\kaskade.dll"
        ; The installer is a 32-bit program: reach the 64-bit System32 without redirection.
        ${DisableX64FSRedirection}
        !insertmacro Regsvr32 "$WINDIR\System32\regsvr32.exe" "" "$INSTDIR\kaskade64.dll"
        ${EnableX64FSRedirection}
    ${Else}
        !insertmacro Regsvr32 "$SYSDIR\regsvr32.exe" "" "$INSTDIR\kaskade.dll"
    ${EndIf}

    ; For every user, in the tray only.
    WriteRegStr HKLM "${RUN_KEY}" "QORDA-8" '"$INSTDIR\${PANEL}" -m'

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${PANEL}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Function un.onInit
    ${If} ${RunningX64}
        SetRegView 64
    ${EndIf}
FunctionEnd

Section "Uninstall"
    ; Unregistering is best effort: a DLL already gone must not stop the removal.
    ${If} ${FileExists} "$INSTDIR\kaskade.dll"
        ${If} ${RunningX64}
            ExecWait '"$WINDIR\SysWOW64\regsvr32.exe" /s /u "$INSTDIR\kaskade.dll"'
        ${Else}
            ExecWait '"$SYSDIR\regsvr32.exe" /s /u "$INSTDIR\kaskade.dll"'
        ${EndIf}
    ${EndIf}
    ${If} ${RunningX64}
    ${AndIf} ${FileExists} "$INSTDIR\kaskade64.dll"
        ${DisableX64FSRedirection}
        ExecWait '"$WINDIR\System32\regsvr32.exe" /s /u "$INSTDIR\kaskade64.dll"'
        ${EnableX64FSRedirection}
    ${EndIf}

    DeleteRegValue HKLM "${RUN_KEY}" "QORDA-8"

    ; Files in use (a running host or the panel) go at the next restart.
    Delete /REBOOTOK "$INSTDIR\kaskade.dll"
    Delete /REBOOTOK "$INSTDIR\kaskade64.dll"
    Delete /REBOOTOK "$INSTDIR\kaskade-host.exe"
    Delete /REBOOTOK "$INSTDIR\x86\kaskade-host.exe"
    Delete /REBOOTOK "$INSTDIR\${PANEL}"
    Delete /REBOOTOK "$INSTDIR\kaskade.dll.old"
    Delete /REBOOTOK "$INSTDIR\kaskade64.dll.old"
    Delete /REBOOTOK "$INSTDIR\kaskade-host.exe.old"
    Delete /REBOOTOK "$INSTDIR\x86\kaskade-host.exe.old"
    Delete /REBOOTOK "$INSTDIR\${PANEL}.old"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR\x86"
    RMDir "$INSTDIR"
    RMDir "$INSTDIR\.."

    DeleteRegKey HKLM "${UNINSTALL_KEY}"

    ; The user's driver settings stay unless asked for.
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/REMOVESETTINGS" $1
    ${IfNot} ${Errors}
        StrCpy $1 "yes"
    ${ElseIfNot} ${Silent}
        MessageBox MB_YESNO|MB_DEFBUTTON2|MB_ICONQUESTION "Also remove your driver settings?" IDYES 0 IDNO +2
        StrCpy $1 "yes"
    ${EndIf}
    ${If} $1 == "yes"
        DeleteRegKey HKCU "SOFTWARE\${DRIVER32}"
        DeleteRegKey HKCU "SOFTWARE\${DRIVER64}"
    ${EndIf}
SectionEnd
