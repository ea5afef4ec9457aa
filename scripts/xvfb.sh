# Sourced by the scripts: starts a private Xvfb on a free display number of
# its own choosing and exports DISPLAY; it is stopped when the calling shell
# exits. It never resets between clients: a reset refuses the clients that
# connect at that moment.
start_xvfb() {
  local fifo number
  fifo="$(mktemp -u)"
  mkfifo "$fifo"
  Xvfb -displayfd 3 -noreset -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  XVFB_PID=$!
  trap 'kill $XVFB_PID 2>/dev/null || true' EXIT
  # Xvfb writes its display number once it accepts connections.
  read -r -t 20 number <"$fifo" || true
  rm -f "$fifo"
  if [ -z "$number" ]; then
    echo "could not start Xvfb" >&2
    return 1
  fi
  export DISPLAY=":$number"
}
