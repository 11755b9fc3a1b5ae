#!/usr/bin/env bash
# Installs every Debian package the build, the demo and the tests need.
# Idempotent: does nothing when everything is already there. Needs root.
set -euo pipefail

PACKAGES=(
  cmake ninja-build g++ make pkg-config
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64
  googletest libgtest-dev libbenchmark-dev
  libosmesa6-dev zlib1g-dev libpng-dev lib3mf-dev
  wine wine64 xvfb xauth
  zip unzip python3
  gir1.2-gnomedesktop-3.0 python3-gi
)

# `setup.sh fuzz` also brings clang and its libFuzzer run time; `setup.sh occt`
# OpenCASCADE, which writes the STEP test files (tools/step_fixtures) and,
# with its visualisation package, builds the STEP oracle (tests/step_oracle);
# `setup.sh bench` Assimp, the general importer the load benchmarks race.
if [ "${1:-}" = fuzz ]; then PACKAGES+=(clang libclang-rt-14-dev); fi
if [ "${1:-}" = occt ]; then PACKAGES+=(libocct-data-exchange-dev libocct-modeling-algorithms-dev libocct-ocaf-dev
  libocct-visualization-dev); fi
if [ "${1:-}" = bench ]; then PACKAGES+=(libassimp-dev); fi

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "setup: missing packages: ${missing[*]} (run as root to install them)" >&2
  exit 1
fi
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
