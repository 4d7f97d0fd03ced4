#!/usr/bin/env bash
# Runs a test program (argument 1) on a virtual X server managed by openbox, where it drives the
# program's windows with xdotool. Exits 77 (skipped) when one of the tools is missing.
set -euo pipefail
program=$1
for tool in xvfb-run Xvfb xauth openbox xdotool; do
  if ! command -v "$tool" >/dev/null; then
    echo "skipped: $tool is missing; scripts/setup installs the packages xvfb xauth openbox xdotool"
    exit 77
  fi
done
# xvfb-run finds a free display and an authority file of its own.
exec xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" bash -c '
  set -euo pipefail
  export QT_QPA_PLATFORM=xcb LANG=C.UTF-8
  ready=$(mktemp -d)/ready
  # openbox runs its start-up command once it manages the screen.
  openbox --sm-disable --startup "touch $ready" 2>/dev/null &
  wm=$!
  trap "kill $wm 2>/dev/null || true; rm -rf ${ready%/ready}" EXIT
  for _ in $(seq 200); do
    [ -e "$ready" ] && break
    sleep 0.05
  done
  [ -e "$ready" ] || { echo "openbox did not start"; exit 1; }
  "$0"
' "$program"
