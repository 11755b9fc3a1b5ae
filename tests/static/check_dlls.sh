#!/usr/bin/env bash
# Static checks of both plug-in DLLs: exactly the nine undecorated exports,
# the right machine type, and imports from Windows system DLLs only.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
expected="ListCloseWindow ListGetDetectString ListGetPreviewBitmap ListLoad ListLoadNext ListLoadNextW ListLoadW ListSendCommand ListSetDefaultParams"
system_dlls=" kernel32.dll user32.dll gdi32.dll msvcrt.dll "
passed=0
failed=0

check() {  # name, condition result (0 = ok), message
  if [ "$2" -eq 0 ]; then passed=$((passed + 1)); echo "ok   $1"
  else failed=$((failed + 1)); echo "FAIL $1: $3"; fi
}

check_dll() {  # path, objdump, expected file format
  local dll=$1 objdump=$2 format=$3 name
  name=$(basename "$dll")
  if [ ! -f "$dll" ]; then check "$name exists" 1 "not built"; return; fi
  local dump exports imports bad
  dump=$("$objdump" -p "$dll")
  "$objdump" -f "$dll" | grep -q "file format $format"
  check "$name is $format" $? "wrong machine type"
  exports=$(echo "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | grep -o '^\s*\[ *[0-9]*\] [A-Za-z_@0-9]*' | awk '{print $NF}' | sort | tr '\n' ' ' | sed 's/ $//')
  [ "$exports" = "$expected" ]
  check "$name exports exactly the nine names, undecorated" $? "got: $exports"
  imports=$(echo "$dump" | grep 'DLL Name:' | awk '{print tolower($3)}' | sort -u)
  bad=""
  for i in $imports; do case "$system_dlls" in *" $i "*) ;; *) bad="$bad $i" ;; esac; done
  [ -z "$bad" ]
  check "$name imports only system DLLs" $? "non-system imports:$bad"
  ! echo "$dump" | grep -q 'DLL Name: opengl32.dll' 
  check "$name loads opengl32 by name at run time" $? "links opengl32 statically"
}

check_dll "$root/build/win64/src/plugin/voxaro.wlx64" x86_64-w64-mingw32-objdump pei-x86-64
check_dll "$root/build/win32/src/plugin/voxaro.wlx" i686-w64-mingw32-objdump pei-i386
# On x86 the exports must be stdcall: the callee pops its arguments (ret 0xc for ListLoad).
if [ -f "$root/build/win32/src/plugin/voxaro.wlx" ]; then
  body=$(i686-w64-mingw32-objdump -d "$root/build/win32/src/plugin/voxaro.wlx" | awk '/<_ListLoad@12>:/{f=1} f&&/^$/{f=0} f')
  echo "$body" | grep -q 'ret *\$0xc'
  check "voxaro.wlx ListLoad is stdcall" $? "ListLoad does not pop its 12 argument bytes"
fi
# Each build looks for its own lib3mf (the x86 one cannot run here): x86-64
# beside the plug-in, x86 in the lib3mf_32bit.dll sub-folder.
if [ -f "$root/build/win32/src/plugin/voxaro.wlx" ] && [ -f "$root/build/win64/src/plugin/voxaro.wlx64" ]; then
  grep -qaF 'lib3mf_32bit.dll\lib3mf.dll' "$root/build/win32/src/plugin/voxaro.wlx"
  check "voxaro.wlx looks for lib3mf_32bit.dll\\lib3mf.dll" $? "path not in the DLL"
  ! grep -qaF 'lib3mf_32bit' "$root/build/win64/src/plugin/voxaro.wlx64"
  check "voxaro.wlx64 does not look in lib3mf_32bit.dll" $? "the x86 path is in the x86-64 DLL"
fi
echo "static checks: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
