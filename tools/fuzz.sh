#!/usr/bin/env bash
# Fuzzes the STL and STEP readers and the G-code parser with libFuzzer under
# ASan and UBSan, seeded with the real files in tests/data. An input that
# takes 10 seconds or more fails the run like a crash: libFuzzer stops at a
# unit past -timeout, and one that finishes just under the alarm is still
# reported as a slow unit, which counts too.
#   tools/fuzz.sh [SECONDS per fuzzer, default 60]
# VOXARO_FUZZ_PROGRAMS names a folder of already built fuzzers to run instead
# of building them here.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
seconds=${1:-60}
unit_seconds=10
programs=${VOXARO_FUZZ_PROGRAMS:-}
if [ -z "$programs" ]; then
  bash tools/setup.sh fuzz
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz -j2 --target stl_fuzz gcode_fuzz step_fuzz
  programs=build/fuzz/fuzz
fi
mkdir -p build/fuzz
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/stl" "$work/gcode" "$work/step"
cp tests/data/*.stl "$work/stl/"
# The STEP seeds: flat faces, an assembly, and every kind of curve and surface the reader draws.
for s in box_hole_ap214 plate_holes coloured_faces two_part_assembly cylinder cone_apex sphere torus \
  box_filleted_edges loft_circle_to_rectangle bspline_surface_model square_face_circular_hole; do
  cp "tests/data/occt_$s.step" "$work/step/"
done
head -c 20000 tests/data/prusaslicer_overhang_supports.gcode > "$work/gcode/seed.gcode"
status=0
for f in stl gcode step; do
  echo "== ${f}_fuzz for ${seconds}s"
  len=4096; [ $f = step ] && len=32768  # STEP seeds need room for a face's whole chain
  log="$work/$f.log"
  "$programs/${f}_fuzz" -max_total_time="$seconds" -max_len=$len -rss_limit_mb=4096 \
    -timeout=$unit_seconds -report_slow_units=$unit_seconds \
    -artifact_prefix="$root/build/fuzz/${f}-" "$work/$f" >"$log" 2>&1 || status=1
  tail -3 "$log"
  if grep -q '^Slowest unit:' "$log"; then
    echo "${f}_fuzz: an input took ${unit_seconds}s or more (build/fuzz/${f}-slow-unit-*)"
    status=1
  fi
done
exit $status
