#!/usr/bin/env bash
# qel-designer as a person drives it: on a real (virtual) X display, with X input events
# from xdotool. The search form opens with the keyboard in its expression box, takes a
# typed query (through the X keyboard, Chinese included) and Enter, then a second query
# that refines the first, opens a hit with a double click, and keeps both queries in the
# history of the next run. The designer saves an unchanged form with Ctrl+S without
# touching the file; a control dragged with the mouse is saved where it was dropped.
set -euo pipefail
designer="$QEL_BUILD_DIR/qel-designer"
if [ ! -x "$designer" ] || ! command -v xdotool >/dev/null || ! command -v Xvfb >/dev/null; then
  echo "qel-designer, xdotool or Xvfb missing: skipped"
  exit 0
fi
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
# Settings (the search history) go to this run's own home.
export HOME="$dir" XDG_CONFIG_HOME="$dir/config" QT_QPA_PLATFORM=xcb
cp "$QEL_SOURCE_DIR/sample/search.frm" "$dir/f.frm"

cat >"$dir/drive.sh" <<'DRIVE'
set -euo pipefail
designer=$1 dir=$2
searched() {  # query seconds: waits until the history kept holds it (the search ran)
  for _ in $(seq $((${2:-30} * 10))); do
    grep -qsF "$1" "$(find "$dir/config" -name qel-designer.conf 2>/dev/null | head -1)" &&
      return 0
    sleep 0.1
  done
  return 1
}
search_typed() {  # query: typed over the expression box's text, then Enter
  # xdotool types a character the keyboard lacks by mapping it to a spare key first; on a
  # loaded machine the program may read the key before the new mapping, so a query that
  # did not arrive is typed again.
  for _ in 1 2 3; do
    xdotool key ctrl+a
    xdotool type --delay 150 "$1"
    xdotool key Return
    searched "$1" 15 && return 0
  done
  echo "the query '$1' never reached the history" >&2
  return 1
}
wait_window() {  # name: the window's id, once it is mapped (a loaded machine is slow)
  for _ in $(seq 300); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  echo "no window named '$1'; the program said:" >&2
  cat "$dir"/*.err >&2
  return 1
}
# The search form: type, Enter; select the text and type the next query, Enter.
"$designer" --run "$dir/f.frm" 2>"$dir/run.err" &
run=$!
win=$(wait_window "search form")
xdotool windowactivate --sync "$win" 2>/dev/null || xdotool windowfocus --sync "$win"
sleep 0.3
search_typed '月'
search_typed '#1 AND 春'
# A double click on a line of the hit list (below its caption and header) opens the record
# in a window of its own, titled "[N] title".
xdotool mousemove --window "$win" 160 300 click --repeat 2 --delay 80 1
wait_window '^\[[0-9]+\] ' >/dev/null
kill "$run"
wait "$run" 2>/dev/null || true

# The designer: an unchanged form saved with Ctrl+S keeps its bytes and its time.
before=$(stat -c %Y.%s "$dir/f.frm")
sum=$(md5sum <"$dir/f.frm")
"$designer" "$dir/f.frm" 2>"$dir/design.err" &
design=$!
win=$(wait_window "qel-designer")
xdotool windowactivate --sync "$win" 2>/dev/null || xdotool windowfocus --sync "$win"
sleep 0.3
xdotool key ctrl+s
sleep 0.5
kill "$design"
wait "$design" 2>/dev/null || true
[ "$(md5sum <"$dir/f.frm")" = "$sum" ] || { echo "the unchanged form was rewritten" >&2; exit 1; }
[ "$(stat -c %Y.%s "$dir/f.frm")" = "$before" ] || { echo "the unchanged form was touched" >&2; exit 1; }

# The close button (X 538, Y 526, 81 by 25 on the form, whose design area starts about 48
# pixels down the window, below the menu and the palette) pressed at its middle and
# dragged 40 pixels right in steps, as a hand does; Ctrl+S saves it there.
"$designer" "$dir/f.frm" 2>"$dir/design.err" &
design=$!
win=$(wait_window "qel-designer")
xdotool windowactivate --sync "$win" 2>/dev/null || xdotool windowfocus --sync "$win"
sleep 0.3
xdotool mousemove --window "$win" 580 588
sleep 0.2
xdotool mousedown 1
for _ in 1 2 3 4 5 6 7 8; do
  xdotool mousemove_relative 5 0
  sleep 0.05
done
# Where the steps end, once more: under load a step can be lost (the button then landed
# 5 pixels short in one run beside the sanitizer builds).
xdotool mousemove --window "$win" 620 588
sleep 0.2
xdotool mouseup 1
sleep 0.3
xdotool key ctrl+s
for _ in $(seq 50); do
  [ "$(md5sum <"$dir/f.frm")" != "$sum" ] && break
  sleep 0.1
done
kill "$design"
wait "$design" 2>/dev/null || true
DRIVE
# A display of our own: the server picks a free number and writes it (xvfb-run -a can take
# a number whose last server is still going away); -noreset keeps it from resetting when
# the first program quits, which refuses the second one's connection for a while.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$dir/display" 2>"$dir/xvfb.log" &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null; rm -rf "$dir"' EXIT
for _ in $(seq 100); do
  [ -s "$dir/display" ] && break
  sleep 0.1
done
[ -s "$dir/display" ] || { echo "Xvfb did not start: $(cat "$dir/xvfb.log")"; exit 1; }
DISPLAY=":$(tr -d '\n' <"$dir/display")" bash "$dir/drive.sh" "$designer" "$dir"

# Both queries reached the search form by the keyboard: they are in the history kept.
conf=$(find "$dir/config" -name 'qel-designer.conf' | head -1)
[ -n "$conf" ] || { echo "no settings written: the typed search did not run"; exit 1; }
# (A query typed again after a key read before its mapping leaves what it read before it.)
grep -q '^history=\(.*, \)\?月, \(.*, \)\?#1 AND 春$' "$conf" ||
  { echo "the queries typed are not in the history: $(cat "$conf")"; exit 1; }
# The dragged control moved 40 pixels right, and nothing else in the file changed.
LC_ALL=C sed 's/^\(BUTTON,"[^"]*",\)538,526,/\1578,526,/' "$QEL_SOURCE_DIR/sample/search.frm" >"$dir/expected.frm"
cmp -s "$dir/f.frm" "$dir/expected.frm" ||
  { echo "the saved form is not the one expected:"; diff -a "$dir/expected.frm" "$dir/f.frm"; exit 1; }
echo "designer_x11: ok"
