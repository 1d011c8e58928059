#!/usr/bin/env bash
# The packages as a user gets them. The Debian package is installed with dpkg,
# the installed tarnwick on the PATH walks the recorded demo agent (snmpsimd in
# a network namespace of this test's own) as the build's program does, man
# finds its page, lintian finds no error, and dpkg -r leaves nothing behind.
# The Windows zip holds a PE32 console tarnwick.exe that prints the usage
# text under Wine.
# A plain "cmake --install" of the package's build puts the program, the
# manual page and the README in place, and nothing else.
# Usage: package.sh path/to/tarnwick_<version>_<arch>.deb path/to/tarnwick-<version>-win32.zip \
#          path/to/tarnwick path/to/the-deb's-build-folder
deb=$(readlink -f "$1")
zip=$(readlink -f "$2")
build=$(readlink -f "$4")
. "$(dirname "$0")/lib.sh"
open_test "$3"
if dpkg-query -W -f='${Status}' tarnwick 2>/dev/null | grep -q "ok installed"; then
  skip "a tarnwick package is installed on this machine already; it is left alone"
fi
before_cleanup() { dpkg -r tarnwick >/dev/null 2>&1; }

cmake --install "$build" --prefix "$work/prefix" >/dev/null
(cd "$work/prefix" && find . -type f | sort) > "$work/installed-files"
printf '%s\n' ./bin/tarnwick ./share/doc/tarnwick/README.md ./share/man/man1/tarnwick.1.gz > "$work/expected-files"
check "cmake --install: the program, its manual page and the README, nothing else" \
  diff -u "$work/expected-files" "$work/installed-files"

lintian_errors() { lintian --fail-on error "$deb" 2>/dev/null; }
check "lintian finds no error in the package" lintian_errors
# Manual pages and documentation are installed even where dpkg is told to
# leave them out (as in some container images).
dpkg --path-include='/usr/share/man/man1/tarnwick.1.gz' --path-include='/usr/share/doc/tarnwick/*' \
  -i "$deb" >/dev/null
installed() { dpkg-query -W -f='${Status}' tarnwick 2>/dev/null | grep -q "ok installed"; }
check "dpkg -i installs the package" installed
check "tarnwick is on the PATH in /usr/bin" [ "$(command -v tarnwick)" = /usr/bin/tarnwick ]
check "man finds the manual page" [ "$(man -w tarnwick 2>/dev/null)" = /usr/share/man/man1/tarnwick.1.gz ]
check "the manual page renders without warnings" \
  sh -c 'zcat /usr/share/man/man1/tarnwick.1.gz | groff -man -ww -z 2>&1 | grep -q . && exit 1 || exit 0'
check "the copyright file says no licence is granted yet" grep -q "No licence has been granted yet" \
  /usr/share/doc/tarnwick/copyright

start_snmpsim "$here/../data" || exit 1
for flag in "" -o; do
  in_ns tarnwick 127.0.0.1 demo $flag > "$work/installed"
  code=$?
  in_ns "$bin" 127.0.0.1 demo $flag | table_rows > "$work/built"
  table_rows < "$work/installed" > "$work/installed.rows"
  check "installed tarnwick ${flag:-(default column)}: exit status 0" [ $code -eq 0 ]
  check "installed tarnwick ${flag:-(default column)}: the build's rows" \
    same_rows "$work/built" "$work/installed.rows"
done

dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {sub(/^\./, "", $6); print $6}' > "$work/files"
dpkg -r tarnwick >/dev/null
left=$(while read -r f; do [ -e "$f" ] && echo "$f"; done < "$work/files")
check "dpkg -r leaves none of the package's files behind" [ -z "$left" ]
check "dpkg -r leaves the package not installed" eval '! installed'

# The Windows zip.
mkdir -p "$work/zip"
python3 -m zipfile -e "$zip" "$work/zip"
exe=$(find "$work/zip" -name tarnwick.exe)
check "the zip holds tarnwick.exe and the README" [ -n "$exe" -a -f "$(dirname "$exe")/README.md" ]
check "tarnwick.exe is a PE32 console program" sh -c "file -b '$exe' | grep -q '^PE32 executable (console) Intel 80386'"
if command -v wine >/dev/null; then
  export WINEPREFIX="$work/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  wineboot -i >/dev/null 2>&1
  wine "$exe" > "$work/usage" 2>/dev/null
  code=$?
  wineserver -k 2>/dev/null
  check "tarnwick.exe under Wine: exit status 1 without arguments" [ $code -eq 1 ]
  check "tarnwick.exe under Wine: the usage text" grep -q "ipAddress community \[-o\] \[-d\]" "$work/usage"
else
  echo "FAIL: wine is not installed" >&2
  failures=$((failures + 1))
fi

[ $failures -eq 0 ]
