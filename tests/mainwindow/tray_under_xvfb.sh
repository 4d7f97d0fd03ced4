#!/usr/bin/env bash
# Runs the tray test (argument 1) on a virtual X server: first with no tray host, then with
# trayer docked at the top edge. Exits 77 (skipped) when Xvfb, xauth or trayer is missing.
set -euo pipefail
program=$1
for tool in xvfb-run Xvfb xauth trayer; do
  if ! command -v "$tool" >/dev/null; then
    echo "skipped: $tool is missing; scripts/setup installs the packages xvfb xauth trayer"
    exit 77
  fi
done
# xvfb-run finds a free display and an authority file of its own.
exec xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" bash -c '
  set -euo pipefail
  export QT_QPA_PLATFORM=xcb LANG=C.UTF-8
  VADOK_TRAY_HOST=absent "$0"
  trayer --edge top --align right --widthtype pixel --width 120 --height 24 --expand false &
  host=$!
  trap "kill $host 2>/dev/null || true" EXIT
  VADOK_TRAY_HOST=present "$0"
' "$program"
