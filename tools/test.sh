#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test: the Release build, the
# AddressSanitizer + UndefinedBehaviorSanitizer build, the ThreadSanitizer
# build of the concurrency tests, a bounded fuzzing run, then the Windows
# program cross-built with mingw-w64 and its tests under Wine. Exits non-zero
# when anything fails; a missing Wine or cross compiler is a failure too.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc)

bash tools/install-deps.sh

# Compiler caches are shared between the build folders and between clones.
export CCACHE_BASEDIR=$root
launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)

configure_and_build() {  # dir, extra cmake args...
  local dir=$1; shift
  cmake -S "$root" -B "$dir" -G Ninja "${launcher[@]}" "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
}

status=0
run_ctest() {  # dir, extra ctest args...
  local dir=$1; shift
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 300 "$@" || status=1
}

echo "== Release build and tests"
configure_and_build build/release -DCMAKE_BUILD_TYPE=Release
run_ctest build/release

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build and tests"
configure_and_build build/asan -DCMAKE_BUILD_TYPE=Debug -DTESSARY_SANITIZE=address
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  run_ctest build/asan

echo "== ThreadSanitizer build, concurrency tests"
configure_and_build build/tsan -DCMAKE_BUILD_TYPE=Debug -DTESSARY_SANITIZE=thread \
  -DTESSARY_BUILD_SHELL=OFF
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 run_ctest build/tsan -L concurrency

echo "== Thread-safety analysis (clang -Wthread-safety, compile only)"
# The guarded state of the portable core is annotated (src/common/
# thread_annotations.h); clang checks every access holds its lock.
CXX=clang++ cmake -S "$root" -B build/thread-safety -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DTESSARY_BUILD_TESTS=OFF -DTESSARY_BUILD_BENCH=OFF -DTESSARY_BUILD_SHELL=OFF \
  -DCMAKE_CXX_FLAGS="-Wthread-safety -Werror" >/dev/null
cmake --build build/thread-safety -j "$jobs" --target tessary_common tessary_detection \
  tessary_channel tessary_capture tessary_zones tessary_link || status=1

if [[ -d fuzz ]]; then
  echo "== Fuzzing (bounded)"
  CXX=clang++ cmake -S "$root" -B build/fuzz -G Ninja "${launcher[@]}" -DCMAKE_BUILD_TYPE=Debug -DTESSARY_BUILD_FUZZ=ON \
    -DTESSARY_BUILD_TESTS=OFF -DTESSARY_BUILD_BENCH=OFF -DTESSARY_BUILD_SHELL=OFF >/dev/null
  # Only the fuzz targets and what they link.
  mapfile -t fuzzers < <(cmake --build build/fuzz --target help | sed -n 's/^\([A-Za-z0-9_]*_fuzzer\):.*/\1/p')
  cmake --build build/fuzz -j "$jobs" --target "${fuzzers[@]}"
  for target in build/fuzz/fuzz/*_fuzzer; do
    [[ -x $target ]] || continue
    corpus=$(mktemp -d)
    echo "-- $(basename "$target")"
    "$target" -max_total_time="${TESSARY_FUZZ_SECONDS:-60}" -print_final_stats=1 "$corpus" \
      2>"$corpus.log" || { tail -n 60 "$corpus.log"; status=1; }
    rm -rf "$corpus" "$corpus.log"
  done
fi

echo "== Windows build (mingw-w64) and its tests under Wine"
# Installs its own packages, builds into build/windows, runs the tests and
# packs dist/tessary-windows-x64.zip.
TESSARY_JOBS=$jobs bash tools/build-windows.sh || status=1

if ((status)); then
  echo "Some tests FAILED"
else
  echo "All tests passed"
fi
exit $status
