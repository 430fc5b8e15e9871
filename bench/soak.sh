#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Soak run: Rxdeck against the simulated receiver for a while, with random user actions
# (buttons, held step buttons, slider clicks and drags, typing, the memory grid, About, and
# choosing Comm1 again). Reports crashes, resident memory and malformed command lines.
# Usage: bench/soak.sh [seconds]   (default 600; needs a built tree, Xvfb, xdotool, ImageMagick)
# SOAK_SEED=N repeats a run's sequence of actions.
set -euo pipefail
# shellcheck source=bench/lib.sh
. "$(dirname "$0")/lib.sh"
seconds="${1:-600}"
seed="${SOAK_SEED:-$$}"
RANDOM="$seed"
forms="$root/tests/e2e/command_forms.txt"
sample_every=5    # seconds between memory samples
settle=60         # memory growth is counted from this many seconds on
growth_limit=2048 # kB

export XDG_DATA_HOME="$work/data" # the memory workbook goes to the scratch folder
mkdir -p "$XDG_DATA_HOME"

start_x
# shellcheck disable=SC2119 # the simulator needs no options here
start_sim
start_rxdeck
# xdotool's search matches any one of its criteria by default, so start_rxdeck may hold the
# program's hidden leader window: take the visible main window.
rxdeck_window="$(xdotool search --sync --all --onlyvisible --pid "$rxdeck_pid" \
  --name 'Rxdeck  V2.2$' | head -n 1)"
choose_comm1

# Where the panel starts: the first dark-green row below the menu bar.
menu_bar=""
for _ in $(seq 40); do
  menu_bar="$(import -window "$rxdeck_window" -crop 1x80+2+0 -depth 8 txt:- 2>/dev/null |
    awk -F'[,:]' '/#004000/ { print $2; exit }' || true)"
  [ -n "$menu_bar" ] && break
  sleep 0.25
done
[ -n "$menu_bar" ] || { echo "soak: cannot find the panel" >&2; exit 1; }

# Controls by design position, twips on the panel (frame children offset by their frame).
# shellcheck disable=SC2034 # the lists are read through pick's name reference
buttons=(
  "4680 1560 735 255" "5520 1560 735 255" "6360 1560 735 255" "7200 1560 735 255"  # AM FM CW USB
  "8040 1560 735 255" "8880 1560 615 255"                                          # LSB ISB
  "4800 2520 735 255" "5760 2520 735 255" "6720 2520 735 255" "7680 2520 735 255"  # bandwidths
  "8640 2520 735 255"
  "4800 3480 1095 375" "6120 3480 1095 375"                                        # Slow, Fast AGC
  "4920 600 1215 255" "6480 600 1215 255" "8040 600 1215 255"                      # RF path
  "7680 5280 615 255"                                                              # BFO Reset
  "240 1080 135 135" "1320 1080 135 135" "2400 1080 135 135" "3480 1080 135 135"   # store squares
  "240 1200 855 255" "1320 1200 855 255" "2400 1200 855 255" "3480 1200 855 255"   # TempA … TempD
  "480 5760 1095 495" "480 6360 1095 495"                                          # Scan start, stop
  "12840 480 735 375"                                                              # Select
)
# shellcheck disable=SC2034
steps=(
  "240 3120 735 375" "240 3600 735 375" "1080 3120 735 375" "1080 3600 735 375"    # ±100k ±9k
  "1920 3120 735 375" "1920 3600 735 375" "2760 3120 735 375" "2760 3600 735 375"  # ±1k ±100Hz
  "3600 3120 735 375" "3600 3600 735 375"                                          # ±10Hz
)
# shellcheck disable=SC2034
sliders=(
  "7440 3480 1935 375" "5040 4560 4215 375" "5040 5640 4215 375" "5040 6720 4215 375" # HScroll1-4
  "5040 7800 4215 375" "1800 7200 2175 255" "1800 7800 2175 255"                      # HScroll5-7
)
boxes=("720 4320 1815 615" "2400 5760 1215 315" "2400 6480 1215 315") # Text2, Text1, Text4
grid="9840 120 4335 8175"

pick() { local -n list="$1"; echo "${list[RANDOM % ${#list[@]}]}"; }

# Window pixels of a point inside a control: fx, fy in per cent of its width and height.
point_in() {
  local left top width height
  read -r left top width height <<<"$1"
  echo "$(((left + width * $2 / 100) / 15)) $(((top + height * $3 / 100) / 15 + menu_bar))"
}

# Clicks, or presses, at a point inside a control, given as in point_in.
click_in() {
  local x y
  read -r x y <<<"$(point_in "$1" "$2" "$3")"
  xdotool mousemove --window "$rxdeck_window" "$x" "$y" click 1
}
press_in() {
  local x y
  read -r x y <<<"$(point_in "$1" "$2" "$3")"
  xdotool mousemove --window "$rxdeck_window" "$x" "$y" mousedown 1
}

# The slider thumb's centre in window pixels: the longest run of near-white pixels along the
# bar's middle row, away from the arrow buttons.
thumb_x() {
  local left top width height x y w margin
  read -r left top width height <<<"$1"
  x=$((left / 15)) y=$(((top + height / 2) / 15 + menu_bar)) w=$((width / 15))
  margin=$((height * 3 / 60)) # three quarters of the bar's height in pixels
  import -window "$rxdeck_window" -crop "${w}x1+${x}+${y}" -depth 8 txt:- |
    awk -F'[,:()]' -v m="$margin" -v w="$w" -v x0="$x" '
      NR > 1 { px = $1 + 0; light = ($4 + 0 >= 240 && $5 + 0 >= 240 && $6 + 0 >= 240)
               if (px < m || px >= w - m) light = 0
               if (light && start < 0) start = px
               if (!light && start >= 0) { if (px - start > best) { best = px - start; at = start }
                                           start = -1 } }
      BEGIN { start = -1; best = 0 }
      END { if (best >= 5) print x0 + at + int(best / 2) }'
}

random_action() {
  local r=$((RANDOM % 100)) control
  if ((r < 35)); then
    click_in "$(pick buttons)" $((20 + RANDOM % 60)) $((20 + RANDOM % 60))
  elif ((r < 50)); then # a step button, tapped or held
    press_in "$(pick steps)" 50 50
    sleep "0.$((RANDOM % 7))"
    xdotool mouseup 1
  elif ((r < 60)); then # an arrow or a click in the track
    control="$(pick sliders)"
    click_in "$control" $((RANDOM % 2 ? 2 : 97)) 50
    click_in "$control" $((10 + RANDOM % 80)) 50
  elif ((r < 72)); then # a thumb drag
    control="$(pick sliders)"
    local x y
    x="$(thumb_x "$control")"
    if [ -n "$x" ]; then
      read -r _ y <<<"$(point_in "$control" 50 50)"
      xdotool mousemove --window "$rxdeck_window" "$x" "$y" mousedown 1 \
        mousemove_relative -- $((RANDOM % 121 - 60)) 0 mouseup 1
    fi
  elif ((r < 84)); then # typing: a frequency, then Set Freq, or a scan limit
    control="$(pick boxes)"
    click_in "$control" 50 50
    xdotool key ctrl+a type --delay 20 "$((RANDOM % 30)).$((RANDOM % 1000))"
    if [ "$control" = "${boxes[0]}" ]; then
      click_in "2640 4440 1095 495" 50 50 # Set Freq
    fi
  elif ((r < 92)); then # the memory grid: a cell, then Select
    click_in "$grid" $((5 + RANDOM % 90)) $((2 + RANDOM % 30))
    click_in "12840 480 735 375" 50 50 # Select
  elif ((r < 97)); then
    choose_comm1
  else # Help > About, then its OK button
    xdotool mousemove --window "$rxdeck_window" 100 10 click 1
    sleep 0.4
    xdotool mousemove --window "$rxdeck_window" 110 $((menu_bar + 33)) click 1
    sleep 0.5
    local about
    about="$(xdotool search --all --onlyvisible --pid "$rxdeck_pid" --name '^About Rxdeck$' |
      head -n 1 || true)"
    if [ -n "$about" ]; then
      xdotool mousemove --window "$about" 325 186 click 1
    fi
  fi
}

echo "soak: ${seconds} s, seed ${seed}, program pid ${rxdeck_pid}"
start=$EPOCHSECONDS
next_sample=$start
declare -a rss_samples=()
actions=0 failed_actions=0 rss_at_settle=""
while ((EPOCHSECONDS - start < seconds)); do
  kill -0 "$rxdeck_pid" 2>/dev/null || break
  if ((EPOCHSECONDS >= next_sample)); then
    rss="$(rss_kb "$rxdeck_pid" || true)"
    rss_samples+=("$rss")
    if ((EPOCHSECONDS - start >= settle)) && [ -z "$rss_at_settle" ]; then
      rss_at_settle="$rss"
    fi
    next_sample=$((next_sample + sample_every))
  fi
  random_action >/dev/null 2>&1 || failed_actions=$((failed_actions + 1))
  actions=$((actions + 1))
  sleep "0.$((1 + RANDOM % 3))"
done
elapsed=$((EPOCHSECONDS - start))

alive=yes
kill -0 "$rxdeck_pid" 2>/dev/null || alive=no
final=""
[ "$alive" = yes ] && final="$(rss_kb "$rxdeck_pid")"
peak="$(printf '%s\n' "${rss_samples[@]}" ${final:+"$final"} | sort -n | tail -n 1)"

cut -d' ' -f2- "$work/sim.log" >"$work/lines"
grep -v '^#' "$forms" >"$work/forms"
malformed="$(LC_ALL=C grep -Evxc -f "$work/forms" "$work/lines" || true)"
total="$(wc -l <"$work/lines")"
polls="$(grep -cx 'FRQ?;DET?;SGV?;BWS?' "$work/lines" || true)"

echo "soak summary after ${elapsed} s (seed ${seed}):"
echo "  user actions:       ${actions} (${failed_actions} could not be carried out)"
echo "  program alive:      ${alive}"
echo "  resident memory:    first ${rss_samples[0]:-?} kB, peak ${peak:-?} kB, final ${final:-?} kB"
per_minute=$((60 / sample_every))
echo "  each minute (kB):   $(for ((i = 0; i < ${#rss_samples[@]}; i += per_minute)); do
  printf '%s ' "${rss_samples[i]}"
done)"
verdict=ok
if [ "$alive" = no ]; then
  verdict=failed
elif [ -n "$rss_at_settle" ]; then
  growth=$((final - rss_at_settle))
  echo "  growth after ${settle} s: ${growth} kB (from ${rss_at_settle} kB; limit ${growth_limit} kB)"
  ((growth < growth_limit)) || verdict=failed
else
  echo "  growth after ${settle} s: not measured (run shorter than that)"
fi
echo "  lines received:     ${total}, of which ${polls} status queries"
echo "  commands by kind:   $(grep -vx 'FRQ?;DET?;SGV?;BWS?' "$work/lines" |
  cut -c1-3 | sort | uniq -c | awk '{ printf "%s %s  ", $2, $1 }')"
echo "  malformed lines:    ${malformed}"
if ((malformed > 0)); then
  LC_ALL=C grep -Evx -f "$work/forms" "$work/lines" | head -n 10 | sed 's/^/    /'
  verdict=failed
fi
echo "  verdict:            ${verdict}"
[ "$verdict" = ok ]
