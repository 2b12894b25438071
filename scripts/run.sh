#!/usr/bin/env bash
# make run: starts the program over the sample table in scratch/data (made there the first
# time), the folder given as its argument. Without a display it runs the program under a virtual display (Xvfb), saves a
# screenshot of the main window into scratch/data and ends the program.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${BUILD:-build}"
root="$(pwd)"
data="$root/scratch/data"
program="$root/$build/app/snyltdyr"

mkdir -p "$data"
if ! ls "$data" | grep -qi '^snyltdyr\.dbf$'; then
  "$root/$build/app/snyltdyr-cli" create-sample "$data" --records 2000 --seed 1
fi
if { [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; } || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$program" "$data"
fi

shot="$data/snyltdyr-window.png"
rm -f "$shot"
xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
  "$1" "$3" & pid=$!
  for _ in $(seq 1 100); do
    xwininfo -name Snyltdyr >/dev/null 2>&1 && break
    sleep 0.1
  done
  sleep 1  # let the window paint the table
  import -window Snyltdyr "$2" 2>/dev/null || import -window root "$2"
  kill "$pid"; wait "$pid" 2>/dev/null || true
' _ "$program" "$shot" "$data"
if [ -s "$shot" ]; then
  echo "No display here: the program ran under a virtual display."
  echo "Screenshot of the main window: $shot"
else
  echo "No display here, and the screenshot under the virtual display failed." >&2
  exit 1
fi
