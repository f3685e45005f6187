#!/usr/bin/env bash
# Instructions per still of the window program at a camera's pace, counted by callgrind
# (stable on a shared machine, unlike times): vantorel under valgrind and Xvfb with picture
# and sound against `vantorel-camsim --fps FPS`; counting starts once both run and stops
# after SECONDS. Prints, per thread, the instructions over the pictures decoded (DecodeJpeg
# calls: one per still, or per frame of the stream) and the window's paints of the picture.
# SOURCE=stream takes the pictures from the camera's stream (mjpg/video.cgi?fps=FPS) instead
# of stills.
# Usage: [KEEP=DIR] [SOURCE=stills|stream] bench/app/window_callgrind.sh [BUILD_DIR] [SECONDS] [FPS]
#        (defaults: build 20 25)
# KEEP=DIR keeps the dumps there, for callgrind_annotate. Needs valgrind, Xvfb and xdotool.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
seconds=${2:-20}
fps=${3:-25}
CAMSIM_ARGS="--fps $fps"
source bench/memory/camsim.sh "$build"
if [ "${SOURCE:-stills}" = stream ]; then
  sed -i "1s|.*|$camsim_url/axis-cgi/mjpg/video.cgi?resolution=320x240\&fps=$fps|" "$home/VANTOREL.PRA"
fi
export VANTOREL_HOME="$home" SDL_AUDIODRIVER=dummy QT_QPA_PLATFORM=xcb BUILD="$build" SECONDS_TO_RUN="$seconds"
xvfb-run -a -s "-screen 0 640x700x24" bash -c '
  valgrind -q --tool=callgrind --separate-threads=yes --instr-atstart=no \
    --callgrind-out-file="$VANTOREL_HOME/cg.out" "$BUILD"/src/app/vantorel & app=$!
  wid=$(timeout 120 xdotool search --sync --name "^Vantorel$" | head -n 1)
  sleep 5
  xdotool mousemove --window "$wid" 63 254 click 1    # 見る
  xdotool mousemove --window "$wid" 138 254 click 1   # 聞く
  sleep 5
  callgrind_control -i on $app >/dev/null 2>&1
  sleep "$SECONDS_TO_RUN"
  callgrind_control -i off $app >/dev/null 2>&1
  callgrind_control -d $app >/dev/null 2>&1
  kill -TERM $app; wait $app || true'
[ -n "${KEEP:-}" ] && cp "$home"/cg.out* "$KEEP"/
# The dump taken while counting is the one with ".1" before the thread's number. For each
# thread: its instructions, and the calls of DecodeJpeg (one per picture) and of
# PaintPicture (one per paint of the picture) made in it.
summary() {
  awk '
    /^totals:/ { total = $2 }
    /^c?fn=\(/ {
      id = $1; sub(/^c?fn=/, "", id)
      name = $0; sub(/^c?fn=\([0-9]+\) ?/, "", name)
      if (name != "") names[id] = name
      if ($0 ~ /^cfn=/) callee = names[id]
      next
    }
    /^calls=/ {
      n = substr($1, 7) + 0
      if (index(callee, ")::") == 0 && index(callee, "vantorel::DecodeJpeg(") == 1) stills += n
      if (index(callee, ")::") == 0 && index(callee, "vantorel::PaintPicture(") == 1) paints += n
    }
    END { printf "%d %d %d\n", total, stills, paints }' "$1"
}
printf '%-8s %14s %8s %8s %16s\n' thread instructions pictures paints "per picture/paint"
all=0
stills=0
for f in "$home"/cg.out.1-*; do
  read -r n s p < <(summary "$f")
  [ "$n" -gt 0 ] || continue
  all=$((all + n))
  per=""
  [ "$s" -gt 0 ] && per="$((n / s)) per picture" && stills=$s
  [ "$p" -gt 0 ] && per="$((n / p)) per paint"
  printf '%-8s %14d %8d %8d %16s\n' "${f##*-}" "$n" "$s" "$p" "$per"
done
[ "$stills" -gt 0 ] && echo "whole process: $((all / stills)) instructions per picture ($stills pictures, ${SOURCE:-stills})"
