#!/usr/bin/env bash
# The main job: builds everything, then shows the real plug-in DLL at work in
# a stand-in host window under Wine and Xvfb. Screenshots (PNG) and the status
# line of every view go to out/demo/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash tools/build.sh native win64 win32
bash tools/package.sh

out="$root/out/demo"
samples="$root/out/samples"
rm -rf "$out"
mkdir -p "$out"
python3 tools/make_samples.py "$samples" tests/data

win() { echo "Z:${1//\//\\}"; }
host=build/win64/tools/host/voxaro_host.exe
plugin=$(win "$root/build/win64/src/plugin/voxaro.wlx64")
files=()
for f in torus_binary.stl twisted_tower_ascii.stl openscad_gear_bin.stl openscad_overhang_ascii.stl \
         vase.gcode prusaslicer_overhang_supports.gcode truncated_binary.stl missing.stl \
         occt_perforated_plate.step occt_coloured_faces.step occt_two_part_assembly.step occt_box_hole_ap214.step; do
  files+=("$(win "$samples/$f")")
done

echo "== screenshots under Wine"
tests/wine/run.sh "$host" "$plugin" "$(win "$out")" "${files[@]}" || true
tests/wine/run.sh "$host" "$plugin" "$(win "$out")" --dark "${files[0]}" "${files[2]}" "${files[6]}" "${files[9]}" || true
tests/wine/run.sh "$host" "$plugin" "$(win "$out")" --keys W "${files[2]}" || true
tests/wine/run.sh "$host" "$plugin" "$(win "$out")" --keys WW --dark "${files[1]}" || true
tests/wine/run.sh "$host" "$plugin" "$(win "$out")" --keys LLLLUU++ "${files[0]}" || true
tests/wine/run.sh "$host" "$plugin" "$(win "$out")" --thumb 200x150 "${files[@]}" || true

echo "== command-line engine"
for f in "$samples"/*.stl "$samples"/*.gcode "$samples"/*.step; do
  (build/native/tools/cli/voxaro info "$f" || true) | head -1 | sed "s|^|$(basename "$f"): |"
done
build/native/tools/cli/voxaro render "$samples/torus_binary.stl" "$out/cli_torus.png" --size 640x480 >/dev/null

echo
echo "== status lines (out/demo/status.txt)"
cat "$out/status.txt"
shots=$(ls "$out"/*.png | wc -l)
echo
echo "Wrote $shots screenshots to $out; plug-in package: out/voxaro.zip"
[ "$shots" -ge 16 ]
