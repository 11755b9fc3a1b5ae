#!/usr/bin/env bash
# Removes what `cmake --install` installed from a build folder (its
# install_manifest.txt) and brings the MIME database under that prefix up to
# date again.
set -euo pipefail
manifest="${1:?usage: uninstall.sh BUILD_FOLDER}/install_manifest.txt"
[ -f "$manifest" ] || { echo "uninstall: $manifest not found: nothing was installed from there" >&2; exit 1; }
mime=""
while IFS= read -r file || [ -n "$file" ]; do
  case "$file" in */mime/packages/voxaro.xml) mime=${file%/packages/voxaro.xml} ;; esac
  rm -fv "$file"
done <"$manifest"
if [ -n "$mime" ] && [ -d "$mime/packages" ] && command -v update-mime-database >/dev/null; then
  update-mime-database "$mime"
fi
rm -f "$manifest"
