#!/usr/bin/env bash
# The packages are reproducible: built a second time from the same tree a few
# seconds later, with the programs linked anew in the same build folders, they
# are the same bytes. Run after scripts/package, from the project's root.
set -uo pipefail
cd "$(dirname "$0")/../.."
first=$(cd dist && sha256sum -- *.deb *.zip) || exit 1
sleep 3
rm -f build/package-debian/tarnwick build/package-windows/tarnwick.exe
scripts/package >/dev/null || exit 1
second=$(cd dist && sha256sum -- *.deb *.zip)
echo "$first"
if [ "$first" = "$second" ]; then
  echo "ok: the packages built twice are the same bytes"
else
  echo "FAIL: the packages built twice differ:"
  diff <(echo "$first") <(echo "$second")
  exit 1
fi
