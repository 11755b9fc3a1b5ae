#!/usr/bin/env bash
# Writes out/voxaro.zip: both DLLs and pluginst.inf, so that opening the zip in
# Total Commander offers to install the plug-in.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
for dll in build/win64/src/plugin/voxaro.wlx64 build/win32/src/plugin/voxaro.wlx; do
  [ -f "$dll" ] || { echo "package: $dll is missing; build the win64 and win32 presets first" >&2; exit 1; }
done
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp build/win64/src/plugin/voxaro.wlx64 build/win32/src/plugin/voxaro.wlx packaging/pluginst.inf "$stage/"
cp packaging/readme.txt "$stage/"
mkdir -p out
rm -f out/voxaro.zip
(cd "$stage" && zip -q -X "$root/out/voxaro.zip" pluginst.inf voxaro.wlx voxaro.wlx64 readme.txt)
echo "package: out/voxaro.zip"
