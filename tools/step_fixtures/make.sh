#!/usr/bin/env bash
# Regenerates the OpenCASCADE-made STEP files of tests/data:
#   bash tools/step_fixtures/make.sh [OUT_DIR]
# Installs OpenCASCADE's development packages first (tools/setup.sh occt).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
out=${1:-$root/tests/data}
bash "$root/tools/setup.sh" occt
bin="$root/build/step_fixtures"
mkdir -p "$bin"
g++ -std=c++17 -O1 -I/usr/include/opencascade "$root/tools/step_fixtures/make_step_fixtures.cpp" -o "$bin/make_step_fixtures" \
  -lTKXDESTEP -lTKSTEP -lTKXCAF -lTKLCAF -lTKCAF -lTKXSBase -lTKOffset -lTKFillet -lTKBO -lTKPrim -lTKTopAlgo \
  -lTKGeomAlgo -lTKGeomBase -lTKBRep -lTKG3d -lTKG2d -lTKMath -lTKernel -lTKCDF -lTKVCAF
"$bin/make_step_fixtures" "$out"
ls -l "$out"/occt_*.step
