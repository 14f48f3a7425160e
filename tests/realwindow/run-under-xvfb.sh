#!/usr/bin/env bash
# Runs a test program in a real X session: Xvfb with the openbox window manager, so focus,
# activation and modal dialogs behave as on an operator's desktop.
#   run-under-xvfb.sh PROGRAM [ARGS...]
# Exits 77 (skipped) when the X tools are not installed.
set -euo pipefail
for tool in xvfb-run Xvfb openbox xdotool xprop; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
exec xvfb-run -a -s '-screen 0 1280x800x24' bash -c '
  openbox >/dev/null 2>&1 &
  wm=$!
  trap "kill $wm 2>/dev/null" EXIT
  for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
    sleep 0.05
  done
  QT_QPA_PLATFORM=xcb "$@"
' run-under-xvfb "$@"
