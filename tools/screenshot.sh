#!/usr/bin/env bash
# Usage: tools/screenshot.sh MODEL OUT.png
# Shows MODEL in aseview on a private Xvfb, saves a PNG of the window's first
# frame as OUT.png and prints its path. The viewer runs in a scratch folder
# holding map2.tga, so its dumps land there. ASEVIEW_BUILD names the build
# folder (default: build).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
if [ $# -ne 2 ]; then
  echo "usage: $0 MODEL OUT.png" >&2
  exit 2
fi
build="$(cd "${ASEVIEW_BUILD:-$root/build}" 2>/dev/null && pwd)" || {
  echo "no build folder ${ASEVIEW_BUILD:-$root/build}: build the project first" >&2
  exit 1
}
viewer="$build/app/aseview"
texture="$build/run/map2.tga"
for f in "$viewer" "$texture"; do
  [ -e "$f" ] || { echo "missing $f: build the project first" >&2; exit 1; }
done
[ -r "$1" ] || { echo "cannot read $1" >&2; exit 1; }
model="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
out="$(cd "$(dirname "$2")" && pwd)/$(basename "$2")"
title="various stuff- playing with colors"

source "$root/scripts/xvfb.sh"
start_xvfb
work="$(mktemp -d)"
viewer_pid=""
cleanup() {
  if [ -n "$viewer_pid" ]; then
    kill "$viewer_pid" 2>/dev/null || true
    wait "$viewer_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
  kill "$XVFB_PID" 2>/dev/null || true
  wait "$XVFB_PID" 2>/dev/null || true
}
trap cleanup EXIT
cp "$texture" "$work/map2.tga"

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
  window="$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | head -n1 || true)"
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
