# Sourced by the scripts: starts a private Xvfb and exports DISPLAY; it is
# stopped when the calling shell exits.
start_xvfb() {
  local n
  for n in $(seq 90 140); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp -noreset >/dev/null 2>&1 &
    XVFB_PID=$!
    for _ in $(seq 100); do
      [ -e "/tmp/.X11-unix/X$n" ] && break
      sleep 0.05
    done
    if kill -0 "$XVFB_PID" 2>/dev/null; then
      export DISPLAY=":$n"
      trap 'kill $XVFB_PID 2>/dev/null || true' EXIT
      return 0
    fi
  done
  echo "could not start Xvfb" >&2
  return 1
}
