#!/usr/bin/env bash
# Resident memory of the window program with picture and sound running against the
# simulated camera on 127.0.0.1: starts vantorel under Xvfb, presses "見る" and "聞く",
# and reads VmRSS every 10 s for SECONDS (default 600). Prints one line per minute, the
# peak (VmHWM), and whether picture and sound still come at the end (the sound goes to a
# file through SDL's disk driver).
# Usage: bench/memory/vantorel_memory.sh [BUILD_DIR] [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
seconds=${2:-600}
source bench/memory/camsim.sh "$build"

export VANTOREL_HOME="$home" SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$home/sound.raw" QT_QPA_PLATFORM=xcb BUILD="$build" SECONDS_TO_RUN="$seconds"
xvfb-run -a -s "-screen 0 640x700x24" bash -c '
  set -e
  "$BUILD"/src/app/vantorel & app=$!
  wid=$(timeout 20 xdotool search --sync --name "^Vantorel$" | head -n 1)
  sleep 1
  rss() { awk "/^$1:/ {print \$2}" /proc/$app/status; }
  echo "before pressing: VmRSS $(rss VmRSS) KiB"
  xdotool mousemove --window "$wid" 63 254 click 1   # 見る
  xdotool mousemove --window "$wid" 138 254 click 1  # 聞く
  start=$(date +%s)
  for ((t = 10; t <= SECONDS_TO_RUN; t += 10)); do
    sleep $((start + t - $(date +%s)))
    kill -0 $app || { echo "vantorel ended early"; exit 1; }
    [ $((t % 60)) -eq 0 ] || [ "$SECONDS_TO_RUN" -lt 60 ] && echo "after ${t} s: VmRSS $(rss VmRSS) KiB"
    echo "$t $(rss VmRSS)" >>"$VANTOREL_HOME/rss.txt"
  done
  echo "peak (VmHWM): $(rss VmHWM) KiB; threads: $(rss Threads)"
  picture() { import -window "$wid" rgb:- | md5sum; }
  sound() { tail -c 32000 "$SDL_DISKAUDIOFILE" | tr -d "\\0" | wc -c; }
  p1=$(picture); sleep 2; p2=$(picture)
  echo "at the end: picture changing: $([ "$p1" != "$p2" ] && echo yes || echo no); non-zero bytes in the last 2 s of sound: $(sound) of 32000"
  awk "{ if (min == \"\" || \$2 < min) min = \$2; if (\$2 > max) max = \$2 } END { print \"VmRSS over the run: min \" min \" KiB, max \" max \" KiB\" }" "$VANTOREL_HOME/rss.txt"
  kill -TERM $app
  wait $app'
