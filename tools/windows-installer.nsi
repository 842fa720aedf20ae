; The Windows installer: for the user who runs it, without administrator
; rights, into %LOCALAPPDATA%\Programs\Tessary, with a Start menu entry, an
; optional entry in the Startup folder and an uninstaller. The login code
; (%APPDATA%\Quon_System.dat) is the user's and stays when Tessary goes.
;
;   makensis -DVERSION=1.0.0 -DSTAGE=folder -DICON=tessary.ico -DOUTFILE=setup.exe windows-installer.nsi
;
; STAGE holds tessary.exe, README.md and protocol.md.
; A 64-bit installer for the 64-bit program.
Target amd64-unicode
!ifndef VERSION | STAGE | ICON | OUTFILE
  !error "VERSION, STAGE, ICON and OUTFILE must be defined"
!endif

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tessary"

Name "Tessary ${VERSION}"
OutFile "${OUTFILE}"
Icon "${ICON}"
UninstallIcon "${ICON}"
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\Tessary"
ShowInstDetails show

Page components
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Tessary" SectionProgram
  SectionIn RO
  ; A running copy lets go of its files first.
  IfFileExists "$INSTDIR\tessary.exe" 0 +2
    ExecWait '"$INSTDIR\tessary.exe" --quit'
  SetOutPath "$INSTDIR"
  File "${STAGE}/tessary.exe"
  File "${STAGE}/README.md"
  File "${STAGE}/protocol.md"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortCut "$SMPROGRAMS\Tessary.lnk" "$INSTDIR\tessary.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Tessary"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\tessary.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section /o "Start with Windows" SectionStartup
  CreateShortCut "$SMSTARTUP\Tessary.lnk" "$INSTDIR\tessary.exe"
SectionEnd

Section "Uninstall"
  ExecWait '"$INSTDIR\tessary.exe" --quit'
  Delete "$INSTDIR\tessary.exe"
  Delete "$INSTDIR\README.md"
  Delete "$INSTDIR\protocol.md"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\Tessary.lnk"
  Delete "$SMSTARTUP\Tessary.lnk"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
