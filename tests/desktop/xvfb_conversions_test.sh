#!/usr/bin/env bash
# Conversions driven from outside the program like a person: click a conversion
# button, type the input path, press Convert, answer the settings dialog, wait
# for "Convert completed!", close the window; then check the output with
# ffprobe. The MPEG route (AVI to VCD), the AVI route (ALL to DivX) and the
# bridge (ALL to AVI with a QuickTime input); the overwrite question answered
# No and Yes; stopping mid-way (the part written stays playable); closing the
# window while converting (no hang).
# Exit 77 (skipped) when Xvfb, openbox, xdotool or ffmpeg is missing.
set -u
bin="${1:?usage: xvfb_conversions_test.sh BIN_DIR}"
here=$(cd "$(dirname "$0")" && pwd)
. "$here/desktop_session.sh"

session_check_tools || exit 77
command -v ffmpeg >/dev/null && command -v ffprobe >/dev/null || { echo "skipped: no ffmpeg"; exit 77; }
session_begin "$bin" reelcast-xvfb-conv

clip() {  # clip NAME SECONDS VIDEO_CODEC AUDIO_CODEC [SIZE]
  ffmpeg -hide_banner -loglevel error -y \
    -f lavfi -i "testsrc2=size=${5:-320x240}:rate=25:duration=$2" \
    -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=$2" \
    -ac 2 -c:v "$3" -q:v 4 -c:a "$4" "$work/$1" || fail "could not make $1"
}
clip short.avi 3 mjpeg pcm_s16le
# Long enough to be still converting when the tests below stop it or close the
# window: a VCD conversion runs at many times real time.
long_seconds=300
clip long.avi $long_seconds mjpeg pcm_s16le 160x120
clip short.mov 3 mpeg4 aac

# Places in the conversion window (left, top of the middle of each control).
INPUT_EDIT="140 41"
CONVERT_BUTTON="279 63"
CLOSE_BUTTON="304 13"

program_start "$app"
if wait_window '^Components missing$' 3 >/dev/null; then
  key_in "$(wait_window '^Components missing$' 1)" Return
fi
main=$(wait_window '^Vantor Reelcast$' 20) || fail "the main window did not appear"
sleep 0.5

# open_conversion BUTTON: the conversion window of main-window button BUTTON.
open_conversion() {
  click_in "$main" $(skin_button_centre "$app/SKIN0" "$1")
  win=$(wait_window '^Vantor Convert$' 10) || fail "button $1 opened no conversion window"
  sleep 1.5  # it unfolds
}

# start_conversion INPUT [DIALOG]: types INPUT, presses Convert and answers the
# settings dialog DIALOG with its default button.
start_conversion() {
  click_in "$win" $INPUT_EDIT
  xdotool key ctrl+a BackSpace
  type_in "$win" "$1"
  sleep 0.3
  click_in "$win" $CONVERT_BUTTON
  if [ -n "${2:-}" ]; then
    local d
    d=$(wait_window "^$2\$" 30) || fail "no \"$2\" dialog"
    sleep 0.3
    key_in "$d" Return
  fi
}

# finish: waits for the completion box, answers it and closes the window.
finish() {
  local box
  box=$(wait_window '^Info$' "${1:-240}") || fail "no completion box"
  sleep 0.3
  key_in "$box" Return
  wait_window_gone '^Info$' 10 || fail "the completion box stayed"
  close_conversion
}

close_conversion() {
  click_in "$win" $CLOSE_BUTTON
  wait_window_gone '^Vantor Convert$' 20 || fail "the conversion window did not close"
  main=$(wait_window '^Vantor Reelcast$' 10) || fail "the main window did not come back"
  sleep 0.3
}

expect_probe() {  # expect_probe FILE STREAM ENTRIES WANT WHAT
  local got
  got=$(ffprobe -v error -select_streams "$2" -show_entries "stream=$3" -of csv=p=0 "$1" 2>/dev/null | head -1)
  [ "$got" = "$4" ] || fail "$5 is $got"
}

convert() {  # convert MODE SOURCE OUTPUT [SETTINGS-WINDOW]: a whole conversion that leaves OUTPUT
  open_conversion "$1"
  start_conversion "$2" ${4:+"$4"}
  finish
  [ -s "$3" ] || fail "no output $3"
}

# --- MPEG route: AVI to VCD -------------------------------------------------------
out="$work/short.avi.mpg"
convert 3 "$work/short.avi" "$out" "VCD Setting"
expect_probe "$out" v:0 codec_name,width,height "mpeg1video,352,288" "VCD video"
expect_probe "$out" a:0 codec_name mp2 "VCD sound"
echo "ok: AVI to VCD"

# --- The overwrite question: No keeps the file, Yes converts again -------------------
before=$(stat -c '%s %Y' "$out")
open_conversion 3
start_conversion "$work/short.avi"
q=$(wait_window '^Confirm$' 10) || fail "no overwrite question"
key_in "$q" n
wait_window_gone '^Confirm$' 5 || fail "the question stayed"
[ "$(stat -c '%s %Y' "$out")" = "$before" ] || fail "answering No changed the file"
sleep 1.1
click_in "$win" $CONVERT_BUTTON
q=$(wait_window '^Confirm$' 10) || fail "no overwrite question the second time"
key_in "$q" y
d=$(wait_window '^VCD Setting$' 30) || fail "no VCD Setting after Yes"
key_in "$d" Return
finish
[ "$(stat -c '%Y' "$out")" != "${before#* }" ] || fail "answering Yes did not write the file again"
echo "ok: overwrite question"

# --- AVI route: ALL to DivX ----------------------------------------------------------
out="$work/short.avi.avi"
convert 5 "$work/short.avi" "$out" "AVI Option"
expect_probe "$out" v:0 codec_name mpeg4 "DivX video"
echo "ok: ALL to DivX"

# --- The bridge: ALL to AVI with a QuickTime input ------------------------------------
out="$work/short.mov.avi"
convert 6 "$work/short.mov" "$out"
frames=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 "$out")
[ "${frames:-0}" -ge 70 ] || fail "the bridge's AVI holds ${frames:-0} pictures, not 75"
echo "ok: ALL to AVI through the bridge"

# --- Stopping mid-way: the part converted so far stays a playable file ---------------------
start_long() {  # a long MPEG conversion, a second under way
  open_conversion 3
  start_conversion "$work/long.avi" "VCD Setting"
  for i in $(seq 1 100); do [ -s "$out" ] && break; sleep 0.1; done
  sleep 1
}

out="$work/long.avi.mpg"
start_long
click_in "$win" $CONVERT_BUTTON
size=-1
for i in $(seq 1 30); do  # until the job has ended and the file stays as it is
  sleep 1
  now=$(stat -c %s "$out")
  [ "$now" = "$size" ] && break
  size=$now
done
seconds=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$out" | cut -d. -f1)
[ "${seconds:-0}" -ge 1 ] && [ "${seconds:-$long_seconds}" -lt $((long_seconds - 1)) ] ||
  fail "the stopped file lasts ${seconds:-?} s of $long_seconds"
ffmpeg -v error -i "$out" -f null - 2>"$work/decode.log" && [ ! -s "$work/decode.log" ] ||
  fail "the stopped file does not decode cleanly: $(head -3 "$work/decode.log")"
close_conversion
echo "ok: stop after ${seconds} s"

# --- Closing while converting: no hang ----------------------------------------------------
rm -f "$out"
start_long
click_in "$win" $CLOSE_BUTTON
q=$(wait_window '^Sure$' 10) || fail "no \"Stop the converting?\" question"
key_in "$q" Return
wait_window_gone '^Vantor Convert$' 30 || fail "the conversion window hung on close"
main=$(wait_window '^Vantor Reelcast$' 10) || fail "the main window did not come back after the close"
# Still answering: the skin button works.
click_in "$main" $(skin_button_centre "$app/SKIN0" 9)
for i in $(seq 1 50); do grep -q '^Index=1' "$app/config.ini" 2>/dev/null && break; sleep 0.1; done
grep -q '^Index=1' "$app/config.ini" || fail "the program no longer answers after the close"
echo "ok: close while converting"

main=$(wait_window '^Vantor Reelcast$' 5)
click_in "$main" $(skin_button_centre "$app/SKIN1" 7)
program_wait 20 || fail "the program did not end after Exit"
rm -rf "$work"
echo "conversions passed"
