#!/usr/bin/env bash
# The user's package in a fresh Wine prefix of its architecture: unpacked under
# "C:\Program Files\Test Ünïcode\Corvale", checked by install_check.exe (window, filled list,
# exit code 0, the report's CSV when it is there) while the demo services run.
#   install_test.sh ARCH PACKAGE-ARGS CorvaleDemo.exe install_check.exe
set -euo pipefail
arch=$1 args=$2 demo=$3 check=$4
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../tools/lib/wine-env.sh"
export LANG=C.UTF-8 LC_ALL=C.UTF-8
work=$(mktemp -d)
unset WINEPREFIX # a fresh prefix of its own, not the one the other tests share
trap 'corvale_wine_stop; rm -rf "$work"' EXIT
python3 "$here/package.py" zip "@$args" --out "$work" >/dev/null
corvale_wine_start "$arch"
dest="$WINEPREFIX/drive_c/Program Files/Test Ünïcode/Corvale"
python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' \
    "$work"/Corvale-*.zip "$dest"
cd "$WINEPREFIX/drive_c/users"
"$(corvale_wine_loader "$arch")" "$demo" up --own-only --run "$check"
