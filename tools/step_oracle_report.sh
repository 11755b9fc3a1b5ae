#!/usr/bin/env bash
# Our STEP reader against the OpenCASCADE oracle, as a table: every generated
# fixture (tests/data/occt_*.step) and every STEP file of ../shared/world.
#   bash tools/step_oracle_report.sh [--large] [GTEST_OPTIONS...]
# --large takes the files over 8 MB too (the 11 MB Creo assembly: about 25 s in
# the oracle the first time; its figures are kept in the build folder).
# Exits non-zero when a file named in tests/step_oracle/expected_pass.txt no
# longer matches.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
if [ "${1:-}" = --large ]; then export VOXARO_STEP_ORACLE_LARGE=1; shift; fi
cmake --preset native >/dev/null || exit 1
cmake --build --preset native -j2 --target voxaro_step_oracle_tests >/dev/null || exit 1
dir=build/native/tests/step_oracle
mkdir -p build/test-logs
rm -f "$dir/step_oracle_report.txt"
"$dir/voxaro_step_oracle_tests" "$@" >build/test-logs/step-report.log 2>&1
status=$?
grep -E '^\[  FAILED  \] .*\.' build/test-logs/step-report.log
if [ -f "$dir/step_oracle_report.txt" ]; then cat "$dir/step_oracle_report.txt"
else tail -20 build/test-logs/step-report.log; fi
exit $status
