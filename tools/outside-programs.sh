#!/usr/bin/env bash
# Reads tools/outside-programs.txt.
#
#   bash tools/outside-programs.sh check STAGE   # fails, naming each program that is missing
#
# STAGE is linux or windows; `check windows` checks both stages' programs,
# since the Windows stage runs the Linux build's tests too.
set -euo pipefail
list="$(dirname "$0")/outside-programs.txt"

rows() {  # stage -> "program package" lines
  local wanted=$1
  while read -r program package stage; do
    [[ -z $program || $program == \#* ]] && continue
    if [[ $stage == "$wanted" || ($wanted == windows && $stage == linux) ]]; then
      echo "$program $package"
    fi
  done <"$list"
}

case "${1-}:${2-}" in
  check:linux | check:windows)
    missing=0
    while read -r program package; do
      if ! command -v "$program" >/dev/null; then
        echo "missing outside program: $program (Debian package $package)" >&2
        missing=1
      fi
    done < <(rows "$2")
    exit $missing
    ;;
  *)
    echo "usage: bash tools/outside-programs.sh check linux|windows" >&2
    exit 2
    ;;
esac
