#!/usr/bin/env bash
# The installed launcher and desktop entry, run for real: installed with
# cmake --install into a scratch prefix, with a scratch HOME, on a private
# Xvfb, with stand-in notifiers that record what they were given.
# Usage: entry_test.sh BUILD_DIR SOURCE_DIR CASE
#   files    the validators and the icon's sizes
#   folders  two launches at once: run folders of their own, nothing written elsewhere
#   texture  map2.tga beside the model, else the default; no model: the default model
#   errors   the viewer's message through the first notifier that works, and on stderr
#   pileup   the oldest run folders go, unless their viewer still runs
#   entry    through the desktop entry with gtk-launch, the type's default application, the WM_CLASS
set -uo pipefail
build=$1
source=$2
case=$3

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failed=0
fail() {
  echo "FAIL: $*" >&2
  failed=1
}

prefix="$scratch/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null || exit 1
case $case in
  files | pileup) ;;
  *)
    . "$source/scripts/xvfb.sh"
    start_xvfb || exit 1
    trap 'kill $XVFB_PID 2>/dev/null; rm -rf "$scratch"' EXIT
    ;;
esac

export HOME="$scratch/home"
# A sanitized viewer that ends at once reports the GL driver's leaks after its
# message, in the one console the launcher reads; the viewer's own leaks are
# checked by the other tests.
[ -n "${ASAN_OPTIONS:-}" ] && export ASAN_OPTIONS="$ASAN_OPTIONS:detect_leaks=0"
unset XDG_CACHE_HOME XDG_CONFIG_HOME XDG_DATA_HOME XDG_CURRENT_DESKTOP DESKTOP_SESSION DBUS_SESSION_BUS_ADDRESS
mkdir -p "$HOME" "$scratch/models" "$scratch/cwd"
cache="$HOME/.cache/aseview"
cp "$prefix/share/aseview/knot.ase" "$scratch/models/-my knot.ase"

# Each notifier records its arguments, one a line, and succeeds or fails as
# told; none that is real ever runs.
# Usage: notifiers NAME... (those that succeed)
stubs="$scratch/stubs"
notifiers() {
  rm -rf "$stubs"
  mkdir -p "$stubs"
  for name in notify-send zenity kdialog xmessage; do
    result=1
    case " $* " in *" $name "*) result=0 ;; esac
    printf '#!/bin/sh\nprintf "%%s\\n" "$@" >"%s/%s.args"\nexit %s\n' "$stubs" "$name" "$result" >"$stubs/$name"
    chmod +x "$stubs/$name"
  done
}
notifiers notify-send
launch() {
  (cd "$scratch/cwd" && PATH="$stubs:$PATH" "$prefix/bin/aseview-open" "$@")
}

# The run folders.
runs() {
  ls -d "$cache"/run.* 2>/dev/null
}

# The viewer whose working directory is RUN, once its window shows and its
# dumps are written; empty after 60 s.
# Usage: viewer_in RUN
viewer_in() {
  local proc name
  for _ in $(seq 600); do
    if [ -s "$1/vnorml.txt" ] && xdotool search --onlyvisible --name ' - aseview$' >/dev/null; then
      for proc in /proc/[0-9]*; do
        read -r name <"$proc/comm" && [ "$name" = aseview ] &&
          [ "$(readlink "$proc/exe")" = "$prefix/bin/aseview" ] && [ "$(readlink "$proc/cwd")" = "$1" ] &&
          echo "${proc#/proc/}" && return
      done 2>/dev/null
    fi
    sleep 0.1
  done
}

# Waits for RUN's viewer, ends it as a session would (SIGTERM) and checks
# that the launcher then ends with 143 and tells no one.
# Usage: stop_viewer RUN LAUNCHER_PID
stop_viewer() {
  local pid status
  pid=$(viewer_in "$1")
  if [ -z "$pid" ]; then
    fail "no viewer window for $1"
    kill "$2"
    return
  fi
  tr '\0' '\n' <"/proc/$pid/environ" | grep -qx 'ASEVIEW_VIEW=model' || fail "the viewer in $1 is not in the model view"
  kill "$pid"
  wait "$2"
  status=$?
  [ $status -eq 143 ] || fail "launcher status $status after SIGTERM to the viewer, not 143"
  [ -z "$(ls "$stubs"/*.args 2>/dev/null)" ] || fail "a notifier was called for a viewer asked to end"
}

# The run folder that a launch made: the one not in BEFORE, the list of
# run folders before it (a folder's time changes as its viewer writes).
# Usage: new_run BEFORE
new_run() {
  local run
  for _ in $(seq 100); do
    for run in "$cache"/run.*; do
      [ -d "$run" ] && ! grep -qxF "$run" <<<"$1" && echo "$run" && return
    done
    sleep 0.1
  done
}

case $case in
files)
  out=$(desktop-file-validate "$prefix/share/applications/aseview.desktop" 2>&1) && [ -z "$out" ] ||
    fail "desktop-file-validate: $out"
  # The metainfo alone, and with the desktop entry it names.
  for check in validate validate-tree; do
    [ $check = validate ] && what="$prefix/share/metainfo/io.github.aseview.aseview.metainfo.xml" || what=$prefix
    out=$(appstreamcli $check --no-net "$what" 2>&1) && ! grep -q '^ *[EWI]: ' <<<"$out" ||
      fail "appstreamcli $check: $out"
  done
  # A PNG's width and height: big-endian, 16 bytes in.
  for size in 48 64 128 256; do
    icon="$prefix/share/icons/hicolor/${size}x${size}/apps/aseview.png"
    read -r w1 w2 w3 w4 h1 h2 h3 h4 < <(od -An -tu1 -j16 -N8 "$icon")
    w=$(((w1 << 24) | (w2 << 16) | (w3 << 8) | w4))
    h=$(((h1 << 24) | (h2 << 16) | (h3 << 8) | h4))
    [ "$w $h" = "$size $size" ] || fail "$icon is ${w}x$h"
  done
  ;;

folders)
  # Relative, with a space and a leading dash, from the model's own folder.
  marker="$scratch/marker"
  touch "$marker"
  (cd "$scratch/models" && PATH="$stubs:$PATH" "$prefix/bin/aseview-open" "-my knot.ase") &
  first=$!
  run1=$(new_run "")
  (cd "$scratch/models" && PATH="$stubs:$PATH" "$prefix/bin/aseview-open" "-my knot.ase") &
  second=$!
  run2=$(new_run "$run1")
  [ -n "$run1" ] && [ -n "$run2" ] && [ "$run1" != "$run2" ] || fail "two launches share a run folder: '$run1' '$run2'"
  viewer_in "$run2" >/dev/null
  stop_viewer "$run1" $first
  stop_viewer "$run2" $second
  for run in "$run1" "$run2"; do
    [ "$(stat -c %a "$run")" = 700 ] || fail "$run is open to others"
    for file in dump.txt norm.txt vnorml.txt console.txt; do
      [ -s "$run/$file" ] || fail "$run/$file missing or empty"
    done
    grep -qxF "Loading file $scratch/models/-my knot.ase" "$run/console.txt" || fail "model path in $run/console.txt"
  done
  # Everything written since the launch: in the run folders, or the
  # graphics driver's own cache beside them.
  written=$(find "$scratch" -newer "$marker" -type f ! -path "$cache/run.*" ! -path "$HOME/.cache/mesa_shader_cache/*")
  [ -z "$written" ] || fail "written outside the run folders: $written"
  ;;

texture)
  cp "$prefix/share/aseview/map2.tga" "$scratch/models/map2.tga"
  mkdir "$scratch/bare"
  cp "$prefix/share/aseview/knot.ase" "$scratch/bare/knot.ase"
  # model argument | the model loaded | the texture linked
  while IFS='#' read -r arg model texture; do
    before=$(runs)
    launch ${arg:+"$arg"} &
    launcher=$!
    run=$(new_run "$before")
    stop_viewer "$run" $launcher
    grep -qxF "Loading file $model" "$run/console.txt" || fail "$arg: the model loaded is not $model"
    [ "$(readlink -f "$run/map2.tga")" = "$texture" ] || fail "$arg: texture $(readlink -f "$run/map2.tga"), not $texture"
  done <<EOF
$scratch/models/-my knot.ase#$scratch/models/-my knot.ase#$scratch/models/map2.tga
../bare/knot.ase#$scratch/cwd/../bare/knot.ase#$prefix/share/aseview/map2.tga
#$prefix/share/aseview/knot.ase#$prefix/share/aseview/map2.tga
EOF
  ;;

errors)
  # model | notifiers that work | those tried, in turn | the message | DISPLAY
  # (GLUT's message goes to stderr unbuffered, the viewer's own lines before it
  # to a buffered stdout)
  while IFS='#' read -r model working tried message display; do
    notifiers $working
    before=$(runs)
    (
      [ "$display" = ours ] || unset DISPLAY
      launch "$model"
    ) 2>"$scratch/stderr"
    status=$?
    run=$(new_run "$before")
    [ $status -eq 1 ] || fail "$model: status $status, not 1"
    [ "$(grep -v '^$' "$run/console.txt" | tail -n 1)" = "$message" ] || fail "$model: console of $run"
    title="aseview could not show $(basename "$model")"
    body="$message
(its console: $run/console.txt)"
    case $working in
      notify-send) expected=$(printf '%s\n' -a aseview -i aseview -- "$title" "$body") ;;
      zenity) expected=$(printf '%s\n' --error --no-markup --title=aseview "--text=$title

$body") ;;
    esac
    [ -z "$working" ] || [ "$(cat "$stubs/$working.args" 2>/dev/null)" = "$expected" ] ||
      fail "$model: $working was told '$(cat "$stubs/$working.args")'"
    [ "$(cd "$stubs" && ls -- *.args 2>/dev/null | tr '\n' ' ')" = "$tried" ] ||
      fail "$model: the notifiers tried are not $tried"
    [ "$(cat "$scratch/stderr")" = "$title
$body" ] || fail "$model: stderr '$(cat "$scratch/stderr")'"
  done <<EOF
$scratch/models/none.ase#notify-send#notify-send.args #File not there or something ;|#ours
$scratch/models/none.ase#zenity#notify-send.args zenity.args #File not there or something ;|#ours
$scratch/models/none.ase##kdialog.args notify-send.args xmessage.args zenity.args #File not there or something ;|#ours
$scratch/models/-my knot.ase#notify-send#notify-send.args #freeglut ($prefix/bin/aseview): failed to open display ''#none
EOF
  ;;

pileup)
  # Twelve older run folders, the oldest one held by a viewer that still runs.
  mkdir -p "$cache"
  for age in $(seq 12); do
    mkdir "$cache/run.old$age"
    touch -d "$age hours ago" "$cache/run.old$age"
  done
  (
    exec 9<"$cache/run.old12"
    flock 9
    exec sleep 60
  ) &
  holder=$!
  while flock -n "$cache/run.old12" true; do sleep 0.1; done
  launch "$scratch/models/none.ase" 2>/dev/null
  kept=$(cd "$cache" && ls -dt run.* | tr '\n' ' ')
  new=$(cd "$cache" && ls -dt run.* | head -n 1)
  expected="$new run.old1 run.old2 run.old3 run.old4 run.old5 run.old6 run.old7 run.old8 run.old9 run.old12 "
  [ "$kept" = "$expected" ] || fail "kept '$kept', not '$expected'"
  kill $holder
  ;;

entry)
  # As a desktop sees the prefix: its applications and icons, the launcher on PATH.
  export XDG_DATA_DIRS="$prefix/share:/usr/share" XDG_CONFIG_HOME="$HOME/.config" XDG_DATA_HOME="$HOME/.local/share"
  export PATH="$prefix/bin:$stubs:$PATH" DBUS_SESSION_BUS_ADDRESS=disabled:
  update-desktop-database "$prefix/share/applications"
  default=$(xdg-mime query default model/x-ase)
  [ "$default" = aseview.desktop ] || fail "default application for model/x-ase: '$default'"
  marker="$scratch/marker"
  touch "$marker"
  (cd "$scratch/cwd" && gtk-launch aseview "$scratch/models/-my knot.ase") || fail "gtk-launch failed"
  run=$(new_run "")
  pid=$(viewer_in "$run")
  if [ -z "$pid" ]; then
    fail "no viewer window from the desktop entry"
  else
    grep -qxF "Loading file $scratch/models/-my knot.ase" "$run/console.txt" || fail "the entry's model in $run/console.txt"
    # A dock knows the window for the entry's by both parts of its WM_CLASS.
    class=$(sed -n 's/^StartupWMClass=//p' "$prefix/share/applications/aseview.desktop")
    for part in --classname --class; do
      [ -n "$class" ] && xdotool search --onlyvisible "$part" "^$class\$" >/dev/null ||
        fail "no window whose WM_CLASS $part is the entry's StartupWMClass '$class'"
    done
    kill "$pid"
  fi
  dumps=$(find "$scratch" -newer "$marker" -type f -name '*.txt' | sort)
  expected=$(printf '%s\n' "$run/console.txt" "$run/dump.txt" "$run/norm.txt" "$run/vnorml.txt")
  [ "$dumps" = "$expected" ] || fail "dumps written at '$dumps', not only in $run"
  ;;

*)
  echo "unknown case $case" >&2
  exit 2
  ;;
esac
exit $failed
