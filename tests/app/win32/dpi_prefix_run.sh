#!/usr/bin/env bash
# Runs the DPI layout tests once per DPI in a Wine prefix of their own (a shared prefix would
# change the DPI under the tests running beside them).
#   dpi_prefix_run.sh WINE_RUN --arch=win64|win32 app_dpi_tests.exe
# CORVALE_SCREENSHOT_DIR, when set, receives main-96dpi.bmp and main-144dpi.bmp.
set -euo pipefail
wine_run=$1 arch=${2#--arch=} exe=$3
source "$(dirname "$wine_run")/lib/wine-env.sh"
unset WINEPREFIX
trap corvale_wine_stop EXIT
corvale_wine_start "$arch"
loader=$(corvale_wine_loader "$arch")
status=0
for dpi in 96 120 144 192; do
    "$loader" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f \
        >/dev/null 2>&1
    /usr/lib/wine/wineserver -w 2>/dev/null || true
    shot=""
    if [ -n "${CORVALE_SCREENSHOT_DIR:-}" ] && { [ $dpi = 96 ] || [ $dpi = 144 ]; }; then
        shot=$("$loader" winepath -w "$CORVALE_SCREENSHOT_DIR/main-${dpi}dpi.bmp" 2>/dev/null | tr -d "\r" || true)
    fi
    # The move to another DPI is tried from 96 dpi only.
    filter='*'
    [ $dpi = 96 ] || filter='*NoLabelOrHeaderIsCut*'
    echo "== $dpi dpi"
    CORVALE_TEST_DPI=$dpi CORVALE_SCREENSHOT=$shot \
        "$loader" "$exe" --gtest_filter="$filter" || status=1
done
exit $status
