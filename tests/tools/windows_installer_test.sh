#!/usr/bin/env bash
# windows_installer_test.sh WINE_RUN SETUP PREFIX: in a fresh Wine prefix,
# installs Tessary without questions (/S), runs the installed program,
# installs again over a running copy (which is asked to end first), and
# uninstalls it. Every step that does not do its work fails the test.
set -uo pipefail
wine_run=$1
setup=$2
prefix=$3
rm -rf "$prefix"
export TESSARY_WINEPREFIX=$prefix
failures=0
fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }
settle() { WINEPREFIX=$prefix wineserver -w; }
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tessary'

"$wine_run" "$setup" /S || fail "the installer exited with $?"
settle
folder=$(echo "$prefix"/drive_c/users/*/AppData/Local/Programs/Tessary)
for file in tessary.exe README.md protocol.md uninstall.exe; do
  [[ -f $folder/$file ]] || fail "$file not installed in $folder"
done
start_menu=$(echo "$prefix"/drive_c/users/*/AppData/Roaming/Microsoft/Windows/"Start Menu"/Programs)
[[ -f $start_menu/Tessary.lnk ]] || fail "no Start menu entry"
[[ ! -e $start_menu/Startup/Tessary.lnk ]] || fail "started with Windows without being asked"
version=$("$wine_run" "$folder/tessary.exe" --version | tr -d '\r')
[[ $version =~ ^Tessary\ [0-9.]+$ ]] || fail "the installed program answers '$version'"
"$wine_run" reg query "$uninstall_key" /v DisplayVersion >/dev/null 2>&1 || fail "no uninstall entry"

# Installing again over a running copy: the copy is asked to end first.
"$wine_run" "$folder/tessary.exe" --headless --camera demo --port 0 >"$prefix.out" 2>&1 &
running=$!
for _ in $(seq 100); do grep -q "listening on port" "$prefix.out" && break; sleep 0.1; done
grep -q "listening on port" "$prefix.out" || fail "the installed program does not listen: $(cat "$prefix.out")"
"$wine_run" "$setup" /S || fail "the second install exited with $?"
wait "$running"
status=$?
[[ $status -eq 0 ]] || fail "the running copy ended with $status"
settle

"$wine_run" "$folder/uninstall.exe" /S || fail "the uninstaller exited with $?"
settle
[[ ! -e $folder ]] || fail "the uninstaller left $folder: $(ls "$folder")"
[[ ! -e $start_menu/Tessary.lnk ]] || fail "the uninstaller left the Start menu entry"
if "$wine_run" reg query "$uninstall_key" >/dev/null 2>&1; then fail "the uninstaller left its registry entry"; fi

WINEPREFIX=$prefix wineserver -k
((failures == 0)) && rm -rf "$prefix" "$prefix.out"
exit $((failures > 0))
