#!/usr/bin/env bash
# Screenshots of the desktop program for people to look at: the main window in
# every skin (with the pointer over a button), the menu with the skin list, the
# about box, and the conversion window while it converts and when it is done.
#
#   bash tests/desktop/screenshots.sh OUT_DIR [BIN_DIR] [SOURCE_VIDEO]
#
# BIN_DIR defaults to build/bin; SOURCE_VIDEO to the shared footage, else a
# test picture made with ffmpeg.
set -u
out="${1:?usage: screenshots.sh OUT_DIR [BIN_DIR] [SOURCE_VIDEO]}"
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
bin="${2:-$root/build/bin}"
. "$here/desktop_session.sh"

session_check_tools || exit 1
mkdir -p "$out"
out=$(cd "$out" && pwd)
session_begin "$bin" reelcast-shots

source_video="${3:-}"
if [ -z "$source_video" ]; then
  for f in "$root/../shared/media/echo-hereweare.webm" "$root/../../shared/media/echo-hereweare.webm"; do
    [ -f "$f" ] && { source_video="$f"; break; }
  done
fi
if [ -f "$source_video" ]; then
  # The output is written beside the input: work on a copy.
  cp "$source_video" "$work/source.${source_video##*.}"
  source_video="$work/source.${source_video##*.}"
else
  source_video="$work/sample.avi"
  ffmpeg -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=640x360:rate=25:duration=20 \
    -f lavfi -i sine=frequency=440:sample_rate=44100:duration=20 -c:v mjpeg -q:v 3 -c:a pcm_s16le \
    "$source_video"
fi

# The window with a margin of desktop around it.
shot_window() {
  local win="$1" file="$2" geo
  geo=($(window_geometry "$win"))
  shot "$work/full.png"
  convert "$work/full.png" -crop "$((geo[2] + 40))x$((geo[3] + 40))+$((geo[0] - 20))+$((geo[1] - 20))" +repage "$file"
}

start_main() {
  program_start "$app"
  if wait_window '^Components missing$' 3 >/dev/null; then
    key_in "$(wait_window '^Components missing$' 1)" Return
  fi
  main=$(wait_window '^Vantor Reelcast$' 20) || { echo "the main window did not appear"; exit 1; }
  sleep 0.6
}

skins=0
while [ -d "$app/SKIN$skins" ]; do skins=$((skins + 1)); done
for n in $(seq 0 $((skins - 1))); do
  printf '[INI]\nIndex=%d\n' "$n" > "$app/config.ini"
  start_main
  xdotool mousemove 0 0
  sleep 0.3
  shot_window "$main" "$out/main-skin$n.png"
  # The pointer over the first conversion button shows its hot face.
  read -r bx by < <(skin_button_centre "$app/SKIN$n" 1)
  geo=($(window_geometry "$main"))
  xdotool mousemove $((geo[0] + bx)) $((geo[1] + by))
  sleep 0.4
  shot_window "$main" "$out/main-skin$n-hot.png"
  if [ "$n" -eq 0 ]; then
    # The menu, with the skin list open.
    click_in "$main" $(skin_button_centre "$app/SKIN0" 8)
    sleep 0.5
    xdotool key Down Down Down Right
    sleep 0.6
    shot "$work/full.png"
    convert "$work/full.png" -crop "700x520+$((geo[0] - 20))+$((geo[1] - 20))" +repage "$out/menu.png"
    xdotool key Escape Escape
    sleep 0.3
    # The about box, through the menu.
    click_in "$main" $(skin_button_centre "$app/SKIN0" 8)
    sleep 0.5
    xdotool key Down Down Down Down Down Return
    if about=$(wait_window '^About$' 5); then
      sleep 0.4
      shot_window "$about" "$out/about.png"
      key_in "$about" Return
    fi
  fi
  click_in "$main" $(skin_button_centre "$app/SKIN$n" 7)
  program_wait 15 || program_stop
done

# The conversion window in SKIN0: AVI to VCD on the source video.
printf '[INI]\nIndex=0\n' > "$app/config.ini"
start_main
click_in "$main" $(skin_button_centre "$app/SKIN0" 3)
if convert_win=$(wait_window '^Vantor Convert' 10); then
  sleep 1.5  # unfolding
  click_in "$convert_win" 140 41
  type_in "$convert_win" "$source_video"
  sleep 0.3
  click_in "$convert_win" 279 63
  if dialog=$(wait_window '^VCD Setting$' 20); then
    sleep 0.3
    shot_window "$dialog" "$out/vcd-setting.png"
    key_in "$dialog" Return
  fi
  sleep 4
  shot "$out/converting.png"
  if done_box=$(wait_window '^Info$' 600); then
    sleep 0.3
    shot "$out/completed.png"
    key_in "$done_box" Return
  fi
else
  echo "no conversion window"
fi
program_stop
rm -rf "$work"
ls "$out"
