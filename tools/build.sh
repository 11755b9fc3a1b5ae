#!/usr/bin/env bash
# Configures and builds the given presets (default: native win64 win32).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(native win64 win32)
for p in "${presets[@]}"; do
  echo "== build $p"
  cmake --preset "$p" >/dev/null
  cmake --build --preset "$p" -j2
done
