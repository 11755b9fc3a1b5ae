#!/usr/bin/env bash
# A real client of the desktop thumbnailer: GNOME's thumbnail factory makes
# thumbnails of an STL, a 3MF, a STEP and a G-code file through what
# `cmake --install` put in place. The prefix is a new folder under /usr/local:
# the factory runs thumbnailers in a bubblewrap sandbox that shows only /usr.
# The lib3mf test adapter goes beside the installed program, as lib3mf.so
# would for a user. Everything installed is removed afterwards, also when the
# test fails or is interrupted; the system's own MIME database is not touched.
#
# usage: tests/desktop/run.sh [--sheet OUT.png]   (needs root and build/native)
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"

if [ "$(id -u)" -ne 0 ]; then
  echo "[  SKIPPED ] 1 test: installing under /usr/local needs root"
  echo "[  PASSED  ] 0 tests."
  exit 0
fi
prefix=$(mktemp -d /usr/local/voxaro-thumbnailer-test.XXXXXX) || exit 1
trap 'rm -rf "$prefix"' EXIT
trap 'exit 130' INT TERM HUP
chmod 755 "$prefix"

if ! cmake --install build/native --prefix "$prefix"; then
  echo "[  FAILED  ] 1 test: cmake --install"
  exit 1
fi
cp build/native/tests/lib3mf/adapter/lib3mf.so "$prefix/bin/"
echo "thumbnailer entry:"
cat "$prefix/share/thumbnailers/voxaro.thumbnailer"

# The factory and GIO find the thumbnailer and the MIME types through the
# data folders, as they find those under /usr/local/share.
XDG_DATA_DIRS="$prefix/share:${XDG_DATA_DIRS:-/usr/local/share:/usr/share}" \
  /usr/bin/python3 tests/desktop/factory_client.py "$root/tests/data" "$@"
