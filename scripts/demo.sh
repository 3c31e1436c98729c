#!/usr/bin/env bash
# Shows Qel Manager at work on Linux: the 64-bit build with the simulated unit
# library, under Wine. With a display it starts the manager there for you to
# play with; without one it runs a short scripted tour on a private X server
# and saves screenshots of the tray for each state.
# Usage: scripts/demo.sh [--tour]   (--tour: the scripted tour even with a display)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bash scripts/setup.sh
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j"$(nproc)" --target qelmng TALVIK >/dev/null

demo=$root/build/demo
shots=$demo/screenshots
mkdir -p "$demo/app" "$shots"
cp build/win64/qelmng.exe build/win64/TALVIK.dll "$demo/app/"
state=$demo/app/talvik-sim.ini
journal=$demo/app/talvik-sim.log
: >"$journal"
printf 'initialised=0\nrunning=0\nclients=1\noffline=0\n' >"$state"

export WINEPREFIX=$demo/prefix
export WINELOADER=/usr/lib/wine/wine64
export WINESERVER=/usr/lib/wine/wineserver64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export TALVIK_SIM_STATE=$state TALVIK_SIM_LOG=$journal

xvfb_pid=""
cleanup() {
  "$WINESERVER" -k >/dev/null 2>&1 || true
  "$WINESERVER" -w >/dev/null 2>&1 || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT

tour=0
[ "${1:-}" = "--tour" ] && tour=1
[ -z "${DISPLAY:-}" ] && tour=1

if [ $tour -eq 1 ]; then
  for n in $(seq 90 140); do
    [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] || break
  done
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=":$n"
  for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
fi

if [ ! -f "$WINEPREFIX/.qelmng-ready" ]; then
  echo "preparing a Wine prefix in $WINEPREFIX (once)"
  "$WINELOADER" wineboot -i >/dev/null 2>&1
  "$WINESERVER" -w
  touch "$WINEPREFIX/.qelmng-ready"
fi

"$WINELOADER" "$demo/app/qelmng.exe" >/dev/null 2>&1 &
app_pid=$!

if [ $tour -eq 0 ]; then
  cat <<EOT
Qel Manager runs with the simulated unit library; its icon is in the tray
(or in the small "Wine System Tray" window). The simulator's state is
$state
and every call it gets is journalled in
$journal

  - Click the icon (left or right button) for the menu.
  - Run starts and stops the library: the icon blinks green while it runs and
    is red while it is stopped.
  - Config opens the simulator's settings: set "Units offline" to 1 and the
    icon gets a red band and beeps once a second.
  - Exit leaves (it is grayed while "Clients" is above 1).
EOT
  wait "$app_pid" || true
  echo "Qel Manager has ended. Journal tail:"
  tail -n 20 "$journal"
  exit 0
fi

# ---- the scripted tour ----
tray_geometry() {
  xwininfo -name "Wine System Tray" 2>/dev/null |
    awk '/Window id:/{id=$4} /Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4}
         /Width:/{w=$2} /Height:/{h=$2} END{if (id) print id, x, y, w, h}'
}
for _ in $(seq 600); do [ -n "$(tray_geometry)" ] && break; sleep 0.1; done
read -r tray_id tray_x tray_y _ _ <<<"$(tray_geometry)"
[ -n "${tray_id:-}" ] || { echo "the tray did not appear"; exit 1; }

set_state() {   # running offline
  printf 'initialised=1\nrunning=%s\nclients=1\noffline=%s\n' "$1" "$2" >"$state.tmp"
  mv "$state.tmp" "$state"
}
shoot() {       # name: the tray's first cell; a plain PPM compares by pixels alone
  import -display "$DISPLAY" -window root -crop "20x20+$tray_x+$tray_y" +repage "$shots/$1.ppm"
}
enlarge() {     # name: scaled up so the picture shows
  convert "$shots/$1.ppm" -filter point -resize 800% "$shots/$1.png"
  rm -f "$shots/$1.ppm"
}
# A blinking state shows two pictures: snapshot until the second one is
# seen (a steady state gives up after a second and a half).
for step in "running 1 0" "alarm 1 2" "stopped 0 0"; do
  read -r name running offline <<<"$step"
  set_state "$running" "$offline"
  sleep 1.2
  shoot "$name-a"
  for _ in $(seq 15); do
    sleep 0.1
    shoot "$name-b"
    cmp -s "$shots/$name-a.ppm" "$shots/$name-b.ppm" || break
  done
  enlarge "$name-a"
  enlarge "$name-b"
  echo "state $name: $shots/$name-a.png, $shots/$name-b.png"
done
convert \( "$shots/running-a.png" "$shots/running-b.png" +append \) \
        \( "$shots/alarm-a.png" "$shots/alarm-b.png" +append \) \
        \( "$shots/stopped-a.png" "$shots/stopped-b.png" +append \) \
        -bordercolor white -border 4 +append "$shots/tour.png"

echo "screenshots of the tray are in $shots (all three states: $shots/tour.png)"
echo "journal ($journal), first and last lines:"
head -n 8 "$journal"
echo "..."
tail -n 8 "$journal"
