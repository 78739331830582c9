#!/usr/bin/env bash
# The whole program under Xvfb and openbox, driven with xdotool: it starts in
# SKIN0 with the face's size, the skin button switches to SKIN1 and config.ini
# keeps it across a restart, the menu opens, the exit button ends the program.
# Exit 77 (skipped) when Xvfb, openbox or xdotool is missing.
set -u
bin="${1:?usage: xvfb_main_window_test.sh BIN_DIR}"
here=$(cd "$(dirname "$0")" && pwd)
. "$here/desktop_session.sh"

session_check_tools || exit 77
session_begin "$bin" reelcast-xvfb

face_size() { identify -format '%w %h' "$app/SKIN$1/face.bmp"; }

# Start, answering the components dialog if this machine lacks a component.
start() {
  program_start "$app"
  if wait_window '^Components missing$' 3 >/dev/null; then
    key_in "$(wait_window '^Components missing$' 1)" Return
  fi
  main=$(wait_window '^Vantor Reelcast$' 20) || fail "the main window did not appear"
  sleep 0.5
}

start
read -r _ _ w h < <(window_geometry "$main")
[ "$w $h" = "$(face_size 0)" ] || fail "main window is ${w}x${h}, SKIN0's face is $(face_size 0)"

# The corner of SKIN0's face is magenta: the window is cut there.
read -r x y _ _ < <(window_geometry "$main")
shot "$work/skin0.png"
pixel() { convert "$work/skin0.png" -format "%[hex:p{$1,$2}]" info:; }
desktop=$(pixel 2 2)
[ "$(pixel $((x + 1)) $((y + 1)))" = "$desktop" ] || fail "the desktop does not show through the face's corner"
[ "$(pixel $((x + w / 2)) $((y + h / 2)))" != "$desktop" ] || fail "the face's middle is see-through"

# The skin button: SKIN1, remembered in config.ini.
click_in "$main" $(skin_button_centre "$app/SKIN0" 9)
for i in $(seq 1 50); do
  read -r _ _ w h < <(window_geometry "$main")
  [ "$w $h" = "$(face_size 1)" ] && break
  sleep 0.1
done
[ "$w $h" = "$(face_size 1)" ] || fail "ChangeSkin left the window at ${w}x${h}"
grep -q '^Index=1' "$app/config.ini" || fail "config.ini does not keep the skin: $(cat "$app/config.ini" 2>/dev/null)"

# The menu button opens the pop-up menu.
click_in "$main" $(skin_button_centre "$app/SKIN1" 8)
sleep 0.5
menus=$(xdotool search --onlyvisible --pid "$PROGRAM_PID" 2>/dev/null | wc -l)
[ "$menus" -ge 2 ] || fail "the menu did not open"
xdotool key Escape
sleep 0.3

# The exit button ends the program.
click_in "$main" $(skin_button_centre "$app/SKIN1" 7)
program_wait 15 || fail "the program did not end after Exit (status $?)"

# A new start comes up in SKIN1.
start
read -r _ _ w h < <(window_geometry "$main")
[ "$w $h" = "$(face_size 1)" ] || fail "after a restart the window is ${w}x${h}, not SKIN1's $(face_size 1)"
click_in "$main" $(skin_button_centre "$app/SKIN1" 7)
program_wait 15 || fail "the program did not end after Exit"

rm -rf "$work"
echo "desktop session passed"
