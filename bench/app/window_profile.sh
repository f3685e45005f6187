#!/usr/bin/env bash
# Where the window program's processor time goes at a camera's pace: vantorel under Xvfb with
# picture and sound against `vantorel-camsim --fps FPS`, sampled by `perf record` (999 Hz)
# for SECONDS, then the shares by thread, by library and the top symbols.
# Usage: bench/app/window_profile.sh [BUILD_DIR] [SECONDS] [FPS]   (defaults: build 20 25)
# Needs Debian's linux-perf.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
seconds=${2:-20}
fps=${3:-25}
CAMSIM_ARGS="--fps $fps"
source bench/memory/camsim.sh "$build"
export VANTOREL_HOME="$home" SDL_AUDIODRIVER=dummy QT_QPA_PLATFORM=xcb BUILD="$build" SECONDS_TO_RUN="$seconds"
xvfb-run -a -s "-screen 0 640x700x24" bash -c '
  "$BUILD"/src/app/vantorel & app=$!
  wid=$(timeout 20 xdotool search --sync --name "^Vantorel$" | head -n 1)
  sleep 1
  xdotool mousemove --window "$wid" 63 254 click 1    # 見る
  xdotool mousemove --window "$wid" 138 254 click 1   # 聞く
  sleep 3
  perf record -q -F 999 -p $app -o "$VANTOREL_HOME/perf.data" -- sleep "$SECONDS_TO_RUN" 2>/dev/null
  kill -TERM $app; wait $app || true'
report() { perf report -i "$home/perf.data" --no-children --stdio "$@" 2>/dev/null | grep -v "^#" | grep "%" | grep -v -- "--" || true; }
samples=$(perf report -i "$home/perf.data" --stdio 2>/dev/null | awk '/^# Samples:/ && !n {print $3; n = 1}')
echo "samples: $samples in ${seconds} s at 999 Hz (about $(awk -v s="$samples" -v t="$seconds" 'BEGIN { printf "%.2f", 100 * s / 999 / t }')% of one core)"
echo "-- by thread"; report --sort comm | sed -n 1,6p
echo "-- by library"; report --sort dso | sed -n 1,10p
echo "-- top symbols"; report --sort comm,dso,sym | sed -n 1,15p
