#!/usr/bin/env bash
# Installs what is needed, builds Tessary in Release and starts it in the
# foreground. Arguments go to the program (default: --camera auto).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j "$(nproc)"
if [[ -x build/release/src/shell/tessary ]]; then
  (($#)) || set -- --camera auto
  exec build/release/src/shell/tessary "$@"
fi
# Until the program exists: the detection benchmark.
exec build/release/bench/detection/tessary_detection_bench
