#!/usr/bin/env bash
# Usage: tools/screenshot.sh MODEL OUT.png
# Shows MODEL in aseview on a private Xvfb, saves a PNG of the window's first
# frame as OUT.png and prints its path. The viewer runs in a scratch folder
# holding map2.tga, so its dumps land there. ASEVIEW_BUILD names the build
# folder (default: build).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
[ $# -eq 2 ] || { echo "usage: $0 MODEL OUT.png" >&2; exit 2; }
build="${ASEVIEW_BUILD:-$root/build}"
for f in "$build/app/aseview" "$build/run/map2.tga"; do
  [ -e "$f" ] || { echo "missing $f: build the project first" >&2; exit 1; }
done
[ -r "$1" ] || { echo "cannot read $1" >&2; exit 1; }
model="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
out="$(cd "$(dirname "$2")" && pwd)/$(basename "$2")"
viewer="$(cd "$build" && pwd)/app/aseview"

source "$root/scripts/xvfb.sh"
start_xvfb
work="$(mktemp -d)"
cleanup() {
  kill "${viewer_pid:-}" "$XVFB_PID" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
cp "$build/run/map2.tga" "$work/map2.tga"

# Without a window manager the window would sit at (-1, -1), partly off the
# screen, and the shot would lack its first row and column; the toolkit's own
# -geometry option puts it in the corner instead.
(cd "$work" && exec "$viewer" "$model" -geometry +0+0) >"$work/console.txt" 2>&1 &
viewer_pid=$!

fail() {
  echo "$1" >&2
  cat "$work/console.txt" >&2
  exit 1
}

window=""
for _ in $(seq 300); do
  kill -0 "$viewer_pid" 2>/dev/null || fail "aseview ended before showing its window:"
  window="$(xdotool search --onlyvisible --name "^various stuff- playing with colors\$" 2>/dev/null | head -n1 || true)"
  [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || fail "no aseview window after 30 s:"

# The first frame clears the window to white; until then it is black. A model
# that covers every pixel never shows white, so after a while the shot is
# taken anyway.
for _ in $(seq 50); do
  import -window "$window" "$out"
  [ "$(convert "$out" -format '%[fx:maxima.r*maxima.g*maxima.b]' info:)" = "1" ] && break
  sleep 0.1
done
echo "$out"
