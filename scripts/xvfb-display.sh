# Sourced by the scripts that show Wine windows: a fresh Xvfb display of
# their own, and the way to take it and the prefix's wineserver down again.
# Needs TOLVANE_WINESERVER set (scripts/wine-env.sh, or by the caller).

xvfb_pid=""

# start_xvfb WIDTHxHEIGHT DISPLAY_FILE NAME: Xvfb picks a free display number
# itself and writes it to the file once it accepts clients; DISPLAY is then
# exported. NAME prefixes the error messages.
start_xvfb() {
  local size=$1 display_file=$2 name=$3
  Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 1 300); do
    if [ -s "$display_file" ]; then break; fi
    if ! kill -0 "$xvfb_pid" 2>/dev/null; then
      echo "$name: Xvfb did not start" >&2
      return 1
    fi
    sleep 0.1
  done
  if [ ! -s "$display_file" ]; then
    echo "$name: Xvfb gave no display number" >&2
    return 1
  fi
  DISPLAY=":$(tr -d '[:space:]' <"$display_file")"
  export DISPLAY
}

# Stops the prefix's wineserver and the Xvfb started above; safe to call
# more than once and when nothing was started.
stop_wine_and_xvfb() {
  "$TOLVANE_WINESERVER" -k >/dev/null 2>&1 || true
  "$TOLVANE_WINESERVER" -w >/dev/null 2>&1 || true
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=""
  fi
}
