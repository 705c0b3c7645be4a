#!/usr/bin/env bash
# Runs system tests at another DPI, in a Wine prefix of their own. Usage: run_at_dpi.sh DPI PREFIX TESTS.EXE GTEST-FILTER
# Wine takes the DPI from HKCU\Control Panel\Desktop\LogPixels when a process starts, and the tests
# of the shared prefix run beside these ones (ctest -j2): changed there, the value would reach
# every process started meanwhile and could stay behind after a killed run. A private copy of the
# pristine prefix with a server of its own keeps the change to this run; it is made afresh and
# removed at the end.
set -euo pipefail
dpi=$1 prefix=$2 tests=$3 filter=$4
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
export WINEPREFIX=$prefix
source "$root/script/wine-env"
finish() {
  WINEPREFIX="$WINEPREFIX" wineserver -k 2>/dev/null || true
  rm -rf "$WINEPREFIX" "$WINEPREFIX.lock"
}
trap finish EXIT
finish
uninst_display
uninst_prefix
uninst_server
"$WINE" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f </dev/null >/dev/null 2>&1
UNINST_EXPECT_DPI=$dpi "$root/script/wine-run" "$tests" --gtest_filter="$filter"
