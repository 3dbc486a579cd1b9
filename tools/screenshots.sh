#!/usr/bin/env bash
# Makes the README's two pictures from the real client: the launcher with the
# operator's home page, and the game window after a click on the page's start
# button. Runs a private Xvfb (no window manager), the stand-in operator on
# the default configuration's port and the built client with throw-away
# settings folders; writes docs/launcher.png and docs/game.png.
#
#   bash tools/screenshots.sh        (after a build: build/bin/torvane)
set -euo pipefail
cd "$(dirname "$0")/.."
for tool in Xvfb xdotool import convert; do
  command -v "$tool" >/dev/null || { echo "screenshots: $tool is missing (bash tools/setup.sh)" >&2; exit 2; }
done
[ -x build/bin/torvane ] || { echo "screenshots: build the client first (build/bin/torvane)" >&2; exit 2; }

work=$(mktemp -d)
display=":$((90 + RANDOM % 400))"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

Xvfb "$display" -screen 0 1600x900x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

if (exec 3<>/dev/tcp/127.0.0.1/18630) 2>/dev/null; then
  echo "screenshots: something already listens on 127.0.0.1:18630; stop it first" >&2
  exit 1
fi
build/bin/torvane-operator --port 18630 --timeout 600 --log "$work/operator.log" >/dev/null &
pids+=($!)
for _ in $(seq 100); do (exec 3<>/dev/tcp/127.0.0.1/18630) 2>/dev/null && break; sleep 0.1; done
export XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache XDG_DATA_HOME=$work/data
build/bin/torvane 2>"$work/client.log" &
client=$!
pids+=($client)

# The page is in when the operator served it and its window has settled.
wait_for() {  # text in the operator's log
  for _ in $(seq 300); do grep -q "$1" "$work/operator.log" 2>/dev/null && return 0; sleep 0.1; done
  echo "screenshots: the client never asked for $1" >&2
  cat "$work/client.log" >&2
  exit 1
}
wait_for "GET /client/home.html"

# The launcher: 1222x780, centred; its page rectangle starts at 471,262.
read -r lx ly < <(xdotool search --classname "Velmora" 2>/dev/null | while read -r id; do
  geo=$(xwininfo -id "$id" 2>/dev/null)
  w=$(awk '/Width:/{print $2}' <<<"$geo"); h=$(awk '/Height:/{print $2}' <<<"$geo")
  if [ "$w" = 1222 ] && [ "$h" = 780 ]; then
    awk '/Absolute upper-left X:/{x=$4} /Absolute upper-left Y:/{y=$4} END{print x, y}' <<<"$geo"
    break
  fi
done)
[ -n "${lx:-}" ] || { echo "screenshots: no launcher window" >&2; exit 1; }
# A pixel of the screen as "r,g,b".
pixel() { import -window root -crop "1x1+$1+$2" +repage -depth 8 txt:- | awk 'NR==2{print $2}' | tr -d '()' | cut -d, -f1-3; }
# Waits until the screen shows that colour there (the page has painted).
wait_pixel() {
  for _ in $(seq 300); do [ "$(pixel "$1" "$2")" = "$3" ] && return 0; sleep 0.1; done
  echo "screenshots: $4 never showed" >&2; exit 1
}
# The home page's flat band (#1b2a4a) in the middle of its top rows.
wait_pixel $((lx + 471 + 370)) $((ly + 262 + 2)) "27,42,74" "the home page"
sleep 1  # its web fonts and pictures settle
import -window root "$work/root.png"
convert "$work/root.png" -crop "1222x780+$lx+$ly" +repage -strip docs/launcher.png

# The start button of the home page ("开始游戏", right column of the page).
xdotool mousemove $((lx + 471 + 560)) $((ly + 262 + 158)) click 1
wait_for "GET /play/index.html"
# The game's sea (#0e1a33) near the window's bottom-left corner.
wait_pixel 40 880 "14,26,51" "the game page"
sleep 2  # a few frames of play
import -window root "$work/root.png"
convert "$work/root.png" -resize 1280x720 -strip docs/game.png
echo "screenshots: docs/launcher.png docs/game.png"
