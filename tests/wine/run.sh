#!/usr/bin/env bash
# Runs a Windows program under wine64 inside a private Xvfb display and Wine
# prefix, both started here and stopped on exit.
#   tests/wine/run.sh PROGRAM.exe [ARGS...]
# VOXARO_WINEPREFIX picks the prefix (default: build/wineprefix).
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
export WINEPREFIX=${VOXARO_WINEPREFIX:-$here/build/wineprefix}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
WINE64=/usr/lib/wine/wine64
[ -x "$WINE64" ] || WINE64=$(command -v wine64 || command -v wine)

display=""
for n in $(seq 90 140); do
  if [ ! -e "/tmp/.X${n}-lock" ] && [ ! -e "/tmp/.X11-unix/X${n}" ]; then display=$n; break; fi
done
[ -n "$display" ] || { echo "run.sh: no free X display" >&2; exit 1; }
Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
cleanup() {
  "${WINE64%/*}/wineserver" -k >/dev/null 2>&1 || wineserver -k >/dev/null 2>&1 || true
  kill "$xvfb_pid" 2>/dev/null || true
  wait "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT
export DISPLAY=":$display"
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display}" ] && break; sleep 0.1; done

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  "$WINE64" wineboot -i >/dev/null 2>&1 || true
  # A crashed program must end, not wait in winedbg.
  "$WINE64" reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f >/dev/null 2>&1 || true
  "${WINE64%/*}/wineserver" -w 2>/dev/null || true
fi
timeout --kill-after=10 "${VOXARO_WINE_TIMEOUT:-900}" "$WINE64" "$@"
