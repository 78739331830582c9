# Drives the desktop program from outside, as a person would: a private X
# server (Xvfb) with a window manager (openbox), the program started from a
# folder of its own, xdotool for the mouse and the keyboard, ImageMagick's
# import for screenshots. Sourced by the Xvfb test and the screenshot script.
#
#   session_check_tools || exit 77
#   session_begin BIN_DIR PREFIX       # $work, the program copied to $app, X running
#   program_start DIR                  # PROGRAM_PID set
#   win=$(wait_window '^Vantor Reelcast$' 20)
#   click_in "$win" X Y                # window-relative
#   shot FILE.png
#   session_stop                       # also on exit, through the trap

SESSION_PIDS=()
PROGRAM_PID=

session_check_tools() {
  local t
  for t in Xvfb openbox xdotool xwininfo import; do
    command -v "$t" >/dev/null 2>&1 || { echo "skipped: $t is not installed"; return 1; }
  done
}

# A display number nobody uses.
_free_display() {
  local n
  for n in $(seq 91 160); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] || { echo "$n"; return 0; }
  done
  return 1
}

session_start() {
  local n tries
  for tries in 1 2 3; do
    n=$(_free_display) || return 1
    Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
    local xpid=$!
    export DISPLAY=":$n"
    local i
    for i in $(seq 1 50); do
      xwininfo -root >/dev/null 2>&1 && break
      kill -0 "$xpid" 2>/dev/null || break
      sleep 0.1
    done
    if xwininfo -root >/dev/null 2>&1; then
      SESSION_PIDS+=("$xpid")
      break
    fi
    kill "$xpid" 2>/dev/null
    wait "$xpid" 2>/dev/null
  done
  xwininfo -root >/dev/null 2>&1 || { echo "Xvfb did not start"; return 1; }
  trap session_stop EXIT
  openbox --sm-disable >/dev/null 2>&1 &
  SESSION_PIDS+=($!)
  # openbox is ready once it has claimed the screen.
  for i in $(seq 1 50); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.1
  done
  return 0
}

session_stop() {
  program_stop
  local p
  for p in "${SESSION_PIDS[@]}"; do kill "$p" 2>/dev/null; done
  for p in "${SESSION_PIDS[@]}"; do wait "$p" 2>/dev/null; done
  SESSION_PIDS=()
}

# A test's start, once its tools are checked: the program in BIN_DIR copied into
# a fresh work folder ($work, the copy in $app) and the X session running.
# fail() ends the test with the program's log and a screenshot.
session_begin() {  # session_begin BIN_DIR WORK_PREFIX
  [ -x "$1/Reelcast" ] || { echo "no program in $1"; exit 1; }
  work=$(mktemp -d "/tmp/$2-XXXXXX")
  app="$work/app"
  session_start || fail "no X server"
  program_install "$1" "$app"
}

fail() {
  echo "FAIL: $*"
  [ -f "$app/program.log" ] && sed 's/^/  program: /' "$app/program.log" | tail -20
  shot "$work/failure.png" 2>/dev/null && echo "  screen: $work/failure.png"
  exit 1
}

# Everything the program needs beside it: a folder of its own, so its
# config.ini starts fresh and the build's folder is left alone.
program_install() {
  local bin="$1" dir="$2"
  mkdir -p "$dir"
  cp "$bin/Reelcast" "$dir/"
  cp "$bin"/lib*.so "$dir/" 2>/dev/null || true
  cp "$bin/Reelcast.html" "$dir/" 2>/dev/null || true
  cp -r "$bin"/SKIN[0-9]* "$dir/"
}

program_start() {
  local dir="$1"
  # Leak reports of the toolkit's own caches at exit are not this program's.
  ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" QT_QPA_PLATFORM=xcb \
    LD_LIBRARY_PATH="$dir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" \
    "$dir/Reelcast" >"$dir/program.log" 2>&1 &
  PROGRAM_PID=$!
}

# Waits up to $2 seconds (default 10) for the program to end; answers its status.
program_wait() {
  local limit="${1:-10}" i
  [ -n "$PROGRAM_PID" ] || return 0
  for i in $(seq 1 $((limit * 10))); do
    kill -0 "$PROGRAM_PID" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$PROGRAM_PID" 2>/dev/null; then return 124; fi
  local rc=0
  wait "$PROGRAM_PID" || rc=$?
  PROGRAM_PID=
  return $rc
}

program_stop() {
  [ -n "$PROGRAM_PID" ] || return 0
  kill "$PROGRAM_PID" 2>/dev/null
  program_wait 5 || kill -9 "$PROGRAM_PID" 2>/dev/null
  PROGRAM_PID=
}

# The id of a visible window whose title matches the regular expression $1,
# waiting up to $2 seconds (default 10); nothing and status 1 when none came.
wait_window() {
  local name="$1" limit="${2:-10}" i id
  for i in $(seq 1 $((limit * 10))); do
    id=$(xdotool search --onlyvisible --name "$name" 2>/dev/null | tail -1)
    if [ -n "$id" ]; then echo "$id"; return 0; fi
    sleep 0.1
  done
  return 1
}

# Waits up to $2 seconds for no visible window to match $1.
wait_window_gone() {
  local name="$1" limit="${2:-10}" i
  for i in $(seq 1 $((limit * 10))); do
    xdotool search --onlyvisible --name "$name" >/dev/null 2>&1 || return 0
    sleep 0.1
  done
  return 1
}

# X Y W H of a window's client area on the screen.
window_geometry() {
  xwininfo -id "$1" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
                          /Width:/ {w=$NF} /Height:/ {h=$NF} END {print x, y, w, h}'
}

# Moves the pointer to (X, Y) inside window $1 and clicks the left button.
click_in() {
  local geo x y
  geo=($(window_geometry "$1"))
  x=$((geo[0] + $2))
  y=$((geo[1] + $3))
  xdotool mousemove "$x" "$y"
  sleep 0.15
  xdotool click 1
}

# Types text into the focused control of window $1.
type_in() {
  xdotool windowactivate --sync "$1" 2>/dev/null || true
  xdotool type --delay 2 -- "$2"
}

key_in() {
  xdotool windowactivate --sync "$1" 2>/dev/null || true
  xdotool key "$2"
}

shot() {
  import -window root "$1"
}

# Left and top of button $2 in skin folder $1, from its skin.ini.
skin_button_at() {
  awk -F'[=,]' -v n="$2" '$1 == n {print $2, $3}' "$1/skin.ini" | tr -d '\r'
}

# A point inside button $2 of skin folder $1: its left-top plus a few pixels in.
skin_button_centre() {
  local at w h
  at=($(skin_button_at "$1" "$2"))
  w=$(identify -format '%w' "$1/ctrl$2.bmp")
  h=$(identify -format '%h' "$1/ctrl$2.bmp")
  echo $((at[0] + w / 8)) $((at[1] + h / 2))
}
