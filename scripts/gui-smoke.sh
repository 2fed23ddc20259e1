#!/usr/bin/env bash
# The desktop program under a real X server (Xvfb at 1280 x 800) with a window manager
# (openbox), driven by real input events (xdotool), with the original texts (--lang original):
#   1. a copy of a sample picture is dragged from another program (quillfen-smoke-helper) and
#      dropped on the main window, which opens it;
#   2. Watermark Embedment > Load Watermark (W) by keyboard, the watermark's name typed into
#      the file dialog; then Save (Ctrl+S): the file's bytes must stay as they were (a step's
#      view is never saved);
#   3. Watermark Embedment > Set Seed... by keyboard, seed 4242;
#   4. Run Whole Experiment by its shortcut (Ctrl+R);
#   5. a screenshot of the screen, then the Results list (kept in a CSV file by
#      --results-csv) must hold the seed and NC, the NC that quillfen-cli experiment finds
#      with that seed;
#   6. the watermark loaded again and Ctrl+R again: the same NC (every run starts from the
#      document's picture), and the file still unchanged;
#   7. a click on the Embedded Watermark panel enlarges it; Esc closes it, and the menus open
#      afterwards (Set Seed's box shows);
#   8. Window > Robustness..., Run (seed 1, real-jpeg:q=50 on the document's picture): the
#      window stays within the screen;
#   9. a bitmap opened with File > Open (Ctrl+O), inverted from the keyboard's toolbox menu
#      (Shift+F10) and not saved; Window > Robustness..., Run: the command line the window
#      shows (copied with Alt+Y) gives the CSV the window exports, byte for byte, and that CSV
#      names the file the window wrote the inverted picture to;
#  10. that document closed (Ctrl+W) without saving (Alt+D); in the first one Run Embedding
#      (Ctrl+E), then Invert: the PSNR leaves the Results list, and Save Watermarked Image is
#      refused with the step's message, no file dialog and no file;
#  11. File > Exit by keyboard: the program asks about the changed document, Alt+D discards,
#      and it ends; the first picture's file is unchanged.
# Usage: gui-smoke.sh BUILD_DIR [SCREENSHOT.png]. Every wait has a time limit; whatever was
# started is stopped on the way out.
set -euo pipefail

build=${1:?usage: gui-smoke.sh BUILD_DIR [SCREENSHOT.png]}
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$build" && pwd)
shot=${2:-$build/gui-smoke.png}
app=$build/app/quillfen
helper=$build/tests/quillfen-smoke-helper
for program in "$app" "$helper"; do
  [ -x "$program" ] || { echo "gui-smoke: $program is missing (build first)" >&2; exit 2; }
done
for tool in Xvfb xdotool openbox; do
  command -v "$tool" >/dev/null || { echo "gui-smoke: $tool is missing (scripts/install-deps.sh)" >&2; exit 2; }
done

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "gui-smoke: FAILED: $*" >&2
  "$helper" shot "$shot" >/dev/null 2>&1 || true
  echo "gui-smoke: the screen at that moment: $shot" >&2
  for log in "$work"/*.log; do [ -s "$log" ] && { echo "--- $log"; cat "$log"; }; done >&2
  exit 1
}

# A display nobody uses.
display=""
for n in $(seq 90 140); do
  if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=":$n"; break; fi
done
[ -n "$display" ] || { echo "gui-smoke: no free X display" >&2; exit 2; }
screen_width=1280
timeout 600 Xvfb "$display" -screen 0 ${screen_width}x800x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done
xdotool getmouselocation >/dev/null 2>&1 || fail "Xvfb did not start"
# A real window manager: it gives windows their frames and the keyboard, as on a desktop.
timeout 600 openbox --sm-disable >"$work/openbox.log" 2>&1 &
pids+=($!)
sleep 1

# The program's settings, cache and runtime files stay in the scratch folder.
export XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/runtime XDG_CACHE_HOME=$work/cache
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
# The robustness window's inputs, as a run before left them: the mark, one seed, no cell of
# the default grid and one JPEG cell.
mkdir -p "$XDG_CONFIG_HOME/quillfen"
printf '[robustness]\nmark=%s\nseeds=1\ncells=\nmoreAttacks=real-jpeg:q=50\n' "$root/samples/seal-128.pgm" \
  >"$XDG_CONFIG_HOME/quillfen/quillfen.conf"
unset QT_QPA_PLATFORM
results=$work/results.csv
host=$work/host-copy.pgm
cp "$root/samples/camera-256.pgm" "$host"

# Waits (at most `seconds`) for a visible window whose title matches, and prints its id.
window() {
  local pattern=$1 seconds=${2:-20} id=""
  for _ in $(seq $((seconds * 10))); do
    id=$(xdotool search --onlyvisible --name "$pattern" 2>/dev/null | head -1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}
# Gives the keyboard to a window (there is no window manager to do it).
focus() { timeout 10 xdotool windowfocus --sync "$1" || fail "cannot focus window $1"; sleep 0.3; }
# Waits (at most 20 s) until the results file holds a line matching `pattern`.
results_hold() {
  for _ in $(seq 200); do grep -q -- "$1" "$results" 2>/dev/null && return 0; sleep 0.1; done
  return 1
}

timeout 300 "$app" --lang original --results-csv "$results" >"$work/app.log" 2>&1 &
app_pid=$!
pids+=($app_pid)
frame=$(window "Watermarking Simulator") || fail "the main window did not show"
timeout 10 xdotool windowmove --sync "$frame" 0 0 || true

# 1. The drop: press in the helper's window, move over the main window, release.
timeout 120 "$helper" drag "$host" 900 100 >"$work/drag.log" 2>&1 &
drag_pid=$!
pids+=($drag_pid)
window "quillfen-smoke-drag" >/dev/null || fail "the drag source did not show"
xdotool mousemove 980 140; sleep 0.2
xdotool mousedown 1; sleep 0.2
for x in 960 900 800 600 400 350; do xdotool mousemove "$x" 300; sleep 0.1; done
sleep 0.3
xdotool mouseup 1
wait "$drag_pid" || fail "the drop was not taken"
results_hold '^time,step,text' || fail "no results file"

# The watermark menu: File, then three menus to the right.
watermark_menu() {
  focus "$frame"
  xdotool key alt+f; sleep 0.4
  xdotool key Right Right Right; sleep 0.4
}
# Load Watermark (W), the menu's first entry, and the file dialog.
load_watermark() {
  watermark_menu
  xdotool key Return
  dialog=$(window "^Open" 20) || fail "the watermark's file dialog did not show"
  focus "$dialog"
  xdotool type --delay 5 "$root/samples/seal-128.pgm"
  xdotool key Return
  for _ in $(seq 100); do xdotool search --onlyvisible --name "^Open" >/dev/null 2>&1 || break; sleep 0.1; done
}
# The NC of the last Get Normalized Correlation in the Results list.
last_nc() { grep ',Get Normalized Correlation,NC =' "$results" | tail -1 | sed 's/.*NC =//' | tr -d '\r'; }

# 2. Load Watermark, then Save: the document's picture is the file's, whatever view is shown.
load_watermark
before=$(sha256sum <"$host")
focus "$frame"
xdotool key ctrl+s
sleep 0.5
[ "$(sha256sum <"$host")" = "$before" ] || fail "Save after Load Watermark changed the picture's file"

# 3. Set Seed... (its mnemonic s in the same menu).
set_seed() {
  watermark_menu
  xdotool key s
  seed=$(window "^Set Seed" 20) || fail "the seed's input box did not show"
  focus "$seed"
  xdotool key ctrl+a
  xdotool type "4242"
  xdotool key Return
  sleep 0.5
}
set_seed

# 4. Run Whole Experiment.
focus "$frame"
xdotool key ctrl+r

# 5. The screenshot, then the results.
results_hold '^[^,]*,Get Normalized Correlation,NC =' || fail "no NC in the Results list"
sleep 0.5
"$helper" shot "$shot" >/dev/null 2>&1 || fail "cannot take the screenshot"
grep -q '^[^,]*,Get Wr,seed = 4242' "$results" || fail "the seed 4242 is not in the Results list"
nc=$(last_nc)
# The seed in the Results list repeats the run on the command line.
cli_nc=$(timeout 60 "$build/cli/quillfen-cli" experiment "$host" "$root/samples/seal-128.pgm" \
  --seed 4242 --attack none | sed -n 's/^none *NC =//p')
[ "$nc" = "$cli_nc" ] || fail "NC $nc in the window, $cli_nc from quillfen-cli experiment --seed 4242"

# 6. A second experiment in the same document: the watermark again, the same seed kept.
load_watermark
results_hold '^time,step,text' || fail "no results file"
for _ in $(seq 50); do grep -q ',Get Normalized Correlation,' "$results" || break; sleep 0.1; done
focus "$frame"
xdotool key ctrl+r
results_hold '^[^,]*,Get Normalized Correlation,NC =' || fail "no NC after the second run"
nc2=$(last_nc)
[ "$nc2" = "$cli_nc" ] || fail "the second run's NC $nc2 differs from quillfen-cli's $cli_nc"
focus "$frame"
xdotool key ctrl+s
sleep 0.5
[ "$(sha256sum <"$host")" = "$before" ] || fail "Save after two experiments changed the picture's file"

# 7. The enlarged watermark: a click on the Embedded Watermark panel, Esc closes it, and the
# menus still open (Set Seed's box shows).
eval "$(xdotool getwindowgeometry --shell "$frame")"
xdotool mousemove $((X + 70)) $((Y + 130)) click 1
magnifier=$(window "^Embedded Watermark$" 10) || fail "a click on the panel did not enlarge it"
focus "$magnifier"
xdotool key Escape
for _ in $(seq 50); do xdotool search --onlyvisible --name "^Embedded Watermark$" >/dev/null 2>&1 || break; sleep 0.1; done
xdotool search --onlyvisible --name "^Embedded Watermark$" >/dev/null 2>&1 && fail "Esc did not close the enlarged watermark"
set_seed

# 8. The robustness window, run on the document's picture: it stays within the screen.
focus "$frame"
xdotool key alt+f; sleep 0.4
xdotool key Right Right Right Right Right Right; sleep 0.4
xdotool key o
robustness=$(window "^Robustness$" 20) || fail "the robustness window did not show"
focus "$robustness"
xdotool key alt+r
widest=0
for _ in $(seq 40); do
  eval "$(xdotool getwindowgeometry --shell "$robustness")"
  [ "$WIDTH" -gt "$widest" ] && widest=$WIDTH
  sleep 0.5
done
[ "$widest" -le "$screen_width" ] || fail "the robustness window grew to $widest pixels on a $screen_width-pixel screen"
# Closed as a user closes it (the window manager's Alt+F4): it can open again.
close_window() {
  focus "$1"
  xdotool key alt+F4
  for _ in $(seq 100); do xdotool search --onlyvisible --name "^Robustness" >/dev/null 2>&1 || return 0; sleep 0.1; done
  fail "the robustness window did not close"
}
close_window "$robustness"

# Waits (at most 10 s) until no visible window's title matches.
gone() {
  for _ in $(seq 100); do xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 || return 0; sleep 0.1; done
  return 1
}
# Invert from the toolbox menu of the active document, opened by its key (Shift+F10): its
# last submenu, Other Operations, holds Invert last.
invert() {
  focus "$frame"
  xdotool key shift+F10; sleep 0.5
  xdotool key Up; sleep 0.2
  xdotool key Right; sleep 0.3
  xdotool key Return; sleep 0.5
}
message_box="^Quillfen"

# 9. A changed document's robustness run: the command shown gives the rows shown.
changed=$work/y.bmp
cp "$root/samples/camera-512.bmp" "$changed"
focus "$frame"
xdotool key ctrl+o
dialog=$(window "^Open" 20) || fail "the Open dialog did not show"
focus "$dialog"
xdotool type --delay 5 "$changed"
xdotool key Return
gone "^Open" || fail "the Open dialog did not close"
sleep 0.5
invert
results_hold ',Inverse,' || fail "Invert did not run on the opened bitmap"
focus "$frame"
xdotool key alt+f; sleep 0.4
xdotool key Right Right Right Right Right Right; sleep 0.4
xdotool key o
robustness=$(window "^Robustness$" 20) || fail "the robustness window did not show again"
focus "$robustness"
xdotool key alt+r
# Export CSV (Alt+C) answers once the run has ended.
save=""
for _ in $(seq 120); do
  focus "$robustness"
  xdotool key alt+c
  save=$(window "^Save" 1) && break
done
[ -n "$save" ] || fail "the robustness run did not end, or Export CSV did not ask for a name"
focus "$save"
xdotool type --delay 5 "$work/window.csv"
xdotool key Return
gone "^Save" || fail "the export dialog did not close"
for _ in $(seq 50); do [ -s "$work/window.csv" ] && break; sleep 0.1; done
[ -s "$work/window.csv" ] || fail "Export CSV wrote nothing"
focus "$robustness"
xdotool key alt+y
sleep 0.3
command=$("$helper" clip 2>/dev/null) || fail "Copy put no command line on the clipboard"
case "$command" in quillfen-cli\ robustness\ *) ;; *) fail "the copied command is '$command'" ;; esac
(cd "$work" && PATH="$build/cli:$PATH" timeout 300 bash -c "$command --csv '$work/cli.csv'" >"$work/cli-robustness.log" 2>&1) ||
  fail "the command shown failed: $command"
cmp -s "$work/window.csv" "$work/cli.csv" || fail "the command shown gives another CSV than the window's: $command"
grep -q '^y-unsaved-[0-9a-f]*\.png,' "$work/cli.csv" || fail "the CSV does not name the changed picture's file"
close_window "$robustness"

# 10. The changed document closed without saving (Alt+D), then a change of the picture ends
# the embedding of the first document.
focus "$frame"
xdotool key ctrl+w
ask=$(window "$message_box" 10) || fail "closing the changed document did not ask"
focus "$ask"
xdotool key alt+d
gone "$message_box" || fail "Alt+D did not answer the question"
focus "$frame"
xdotool key ctrl+e
results_hold 'PSNR = ' || fail "Run Embedding gave no PSNR"
invert
for _ in $(seq 50); do grep -q 'PSNR = ' "$results" || break; sleep 0.1; done
grep -q 'PSNR = ' "$results" && fail "the PSNR of the ended embedding stayed in the Results list"
watermark_menu
xdotool key i
refusal=$(window "$message_box" 10) || fail "Save Watermarked Image after the change was not refused"
xdotool search --onlyvisible --name "^Save" >/dev/null 2>&1 && fail "Save Watermarked Image asked for a file name"
focus "$refusal"
xdotool key Return
gone "$message_box" || fail "the refusal did not close"

# 11. Exit: the picture was changed (inverted), so the program asks; Alt+D discards.
focus "$frame"
xdotool key alt+f; sleep 0.4
xdotool key x
ask=$(window "$message_box" 10) || fail "Exit did not ask about the changed picture"
focus "$ask"
xdotool key alt+d
for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app_pid" 2>/dev/null && fail "the program did not end after Exit"
wait "$app_pid" || fail "the program ended with an error"
[ "$(sha256sum <"$host")" = "$before" ] || fail "the discarded change reached the picture's file"
echo "gui-smoke: passed (NC = $nc twice, the file unchanged, the enlarged watermark closed by Esc, the robustness window at most $widest pixels wide, the changed document's command line giving the window's CSV, the ended embedding refused); screenshot: $shot"
