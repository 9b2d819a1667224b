#!/usr/bin/env bash
# Installs the build into a scratch prefix, takes the screenshot with the
# installed programs, and checks the picture is the window, whole, and that
# Search found ERIYY in the installed catalogue (the goto went to it).
#   check_screenshot.sh SOURCE_DIR BUILD_DIR WORK_DIR
set -euo pipefail
source_dir=$1 build_dir=$2 work=$3

for tool in Xvfb xdotool import identify; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done

rm -rf "$work"
mkdir -p "$work"
cmake --install "$build_dir" --prefix "$work/prefix" >/dev/null

MORVANE_BUILD_DIR="$work/prefix" MORVANE_MOUNT_LOG="$work/mount.log" \
    "$source_dir/scripts/screenshot" "$work/window.png"

size=$(identify -format '%wx%h' "$work/window.png")
[ "$size" = 280x376 ] || { echo "FAIL: the picture is $size, the window 280x376"; exit 1; }
colours=$(identify -format '%k' "$work/window.png")
[ "$colours" -ge 16 ] || { echo "FAIL: the picture has only $colours colours"; exit 1; }
grep -q 'goto RA [0-9A-F]* (04:12:09) Dec [0-9A-F]* (-10d28' "$work/mount.log" || {
    echo "FAIL: GOTO did not go to ERIYY; the mount received:"
    cat "$work/mount.log"
    exit 1
}
echo "screenshot: $size, $colours colours, GOTO to ERIYY"
