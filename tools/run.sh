#!/usr/bin/env bash
# Installs what is needed, builds Tessary in Release and starts it in the
# foreground. Arguments go to the program (default: --camera auto).
#
# Standard output carries only the program's own lines, so its first line is
# still "Tessary VERSION listening on port PORT"; the build's output goes to
# a log file and is shown only when the build fails.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh >&2
mkdir -p build/release
log=build/release/run-build.log
if ! { cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release &&
       cmake --build build/release -j "$(nproc)"; } >"$log" 2>&1; then
  cat "$log" >&2
  echo "tools/run.sh: the build failed (log: $log)" >&2
  exit 1
fi
(($#)) || set -- --camera auto
exec build/release/src/shell/tessary "$@"
