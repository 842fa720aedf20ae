#!/usr/bin/env bash
# Cross-builds the Windows program on Debian with mingw-w64, runs its tests
# under Wine, and packs dist/tessary-windows-x64.zip (the program, the README
# and the protocol reference) and dist/tessary-windows-x64-setup.exe (the same
# as an installer for one user, no administrator rights needed).
#
#   bash tools/build-windows.sh            # install what is missing, build, test, pack
#   TESSARY_WINDOWS_TESTS=0 bash tools/build-windows.sh   # build and pack only
#
# The program lands in build/windows/src/shell/tessary.exe, statically linked:
# it needs no DLL beside it.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${TESSARY_WINDOWS_BUILD:-build/windows}
jobs=${TESSARY_JOBS:-$(nproc)}

# On top of what the Linux stages install: GoogleTest's sources for the cross
# build, Wine's 64-bit side, and GStreamer's demuxers (Wine's DirectShow reads
# AVI files through them).
libraries=(googletest wine64 gstreamer1.0-plugins-base gstreamer1.0-plugins-good)
# The programs of this stage's rows of tools/outside-programs.txt: the cross
# toolchain, Wine and its server, xvfb-run, NSIS, zip and unzip.
programs=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine xvfb nsis zip unzip)
bash tools/install-deps.sh
bash tools/apt-install.sh "${libraries[@]}" "${programs[@]}"
bash tools/outside-programs.sh check windows

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

# tessary.exe is checked end to end by the Linux build's program-level tests,
# pointed at it: they come from the Linux build in $host (made, with the Linux
# packages, when there is none).
host_tests=()
if [[ ${TESSARY_WINDOWS_TESTS:-1} != 0 ]]; then
  host=$(realpath -m "${TESSARY_HOST_BUILD:-build/release}")
  if [[ ! -f $host/CMakeCache.txt ]]; then
    cmake -S "$root" -B "$host" -G Ninja -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" >/dev/null
  fi
  cmake --build "$host" -j "$jobs" --target tessary_program_tests
  host_tests=(-DTESSARY_HOST_PROGRAM_TESTS="$host/tests/shell/tessary_program_tests")
fi

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DTESSARY_BUILD_BENCH=OFF "${host_tests[@]}" "${launcher[@]}" >/dev/null
cmake --build "$build" -j "$jobs"

status=0
if [[ ${TESSARY_WINDOWS_TESTS:-1} != 0 ]]; then
  echo "== Windows tests under Wine"
  ctest --test-dir "$build" --output-on-failure --no-tests=error -j "$jobs" --timeout 300 || status=1
fi

echo "== Package"
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cmake --install "$build" --prefix "$stage/tessary" >/dev/null
mkdir -p dist
rm -f dist/tessary-windows-x64.zip
(cd "$stage" && zip -q -r "$root/dist/tessary-windows-x64.zip" tessary)
cp "$build/tessary-windows-x64-setup.exe" dist/
echo "dist/tessary-windows-x64.zip: $(unzip -l dist/tessary-windows-x64.zip | tail -1)"
echo "dist/tessary-windows-x64-setup.exe: $(stat -c %s dist/tessary-windows-x64-setup.exe) bytes"
exit $status
