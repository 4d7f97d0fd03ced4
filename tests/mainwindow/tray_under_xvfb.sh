#!/usr/bin/env bash
# Runs the tray test (argument 1) on a virtual X server: first with no tray host, then with
# trayer docked at the top edge, then with openbox managing the windows as well. Exits 77
# (skipped) when Xvfb, xauth, trayer, openbox or xdotool is missing.
set -euo pipefail
program=$1
for tool in xvfb-run Xvfb xauth trayer openbox xdotool; do
  if ! command -v "$tool" >/dev/null; then
    echo "skipped: $tool is missing; scripts/setup installs the packages xvfb xauth trayer openbox xdotool"
    exit 77
  fi
done
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# xvfb-run finds a free display and an authority file of its own.
xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" bash -c '
  set -euo pipefail
  export QT_QPA_PLATFORM=xcb LANG=C.UTF-8
  scratch=$1
  VADOK_TRAY_HOST=absent "$0"
  trayer --edge top --align right --widthtype pixel --width 120 --height 24 --expand false &
  host=$!
  trap "kill $host 2>/dev/null || true" EXIT
  VADOK_TRAY_HOST=present "$0"

  # The stock configuration, whatever the user running the tests has made of theirs.
  config=()
  [ -f /etc/xdg/openbox/rc.xml ] && config=(--config-file /etc/xdg/openbox/rc.xml)
  openbox "${config[@]}" --startup "touch $scratch/managing" &
  manager=$!
  trap "kill $host $manager 2>/dev/null || true" EXIT
  for _ in $(seq 100); do
    [ -e "$scratch/managing" ] && break
    sleep 0.1
  done
  [ -e "$scratch/managing" ] || { echo "openbox did not start"; exit 1; }
  VADOK_TRAY_HOST=present VADOK_WINDOW_MANAGER=openbox "$0"
' "$program" "$scratch"
