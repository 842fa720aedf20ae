#!/usr/bin/env bash
# run-with-display.sh PREFIX COMMAND...: runs a command (the Wine wrapper with
# a test program) under a private Xvfb server, in the Wine prefix PREFIX.
# Wine's desktop process lives as long as its prefix's wine server and stays
# bound to the display it started on, so the tests that open windows keep a
# prefix of their own, and its server is ended with each case's display.
# A missing Xvfb is a failure, never a skip.
set -uo pipefail
prefix=$1
shift
# Listing the tests (at build time, possibly beside another test program's
# listing) opens no window: it runs in the build's shared prefix without a
# display, so it never meets, or ends, the wine server of a running case.
for argument in "$@"; do
  [[ $argument == --gtest_list_tests ]] && exec "$@"
done
if ! command -v xvfb-run >/dev/null; then
  echo "run-with-display: xvfb-run is not installed (apt-get install xvfb xauth)" >&2
  exit 127
fi
# TESSARY_DISPLAY_DPI (144 is 150 %) scales the system in a prefix of its
# own; the setting is written before the case's display starts, and the wine
# server it takes is ended again, so the desktop process starts on that display.
if [[ -n ${TESSARY_DISPLAY_DPI:-} ]]; then
  prefix=$prefix-dpi$TESSARY_DISPLAY_DPI
  TESSARY_WINEPREFIX=$prefix "$1" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD \
    /d "$TESSARY_DISPLAY_DPI" /f >/dev/null || exit 1
  WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1
  WINEPREFIX=$prefix wineserver -w >/dev/null 2>&1
fi
export TESSARY_WINEPREFIX=$prefix
xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$@"
status=$?
if [[ -f $prefix/system.reg ]]; then
  WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1
  WINEPREFIX=$prefix wineserver -w >/dev/null 2>&1
fi
exit $status
