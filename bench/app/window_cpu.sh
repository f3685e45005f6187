#!/usr/bin/env bash
# Processor share of the window program at a camera's pace: the simulated camera answers at
# most FPS stills a second (--fps); vantorel runs under Xvfb with the picture (and with
# "sound", the sound too) for SECONDS; the share of one core is the process's user+system
# time over that span (/proc/PID/stat). With SOURCES="stills stream" each rate also runs with
# the picture URL naming the camera's picture stream (mjpg/video.cgi?fps=FPS) instead of
# stills, so the two compare in one run. With TALK=1, two rows more per rate: a talk (a tap
# on the talk zone: the microphone up, the camera's sound down) with vantorel.ini's
# [talk] echo_cancel on, then off; their difference is the echo canceller's cost.
# With HOLD_CPUS=1 a busy loop per processor runs beside it at SCHED_IDLE, which gives way
# to any of the window's threads at once: the processors never halt, so a virtual machine's
# cost of halting an idle processor and waking it again drops out of the rows.
# Usage: [SOURCES="stills stream"] [TALK=1] [HOLD_CPUS=1] bench/app/window_cpu.sh [BUILD_DIR] [SECONDS] [FPS...]
#        (defaults: stills, build 60 10 25)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
seconds=${2:-60}
shift 2 || true
rates=("$@")
[ ${#rates[@]} -gt 0 ] || rates=(10 25)
read -r -a sources <<<"${SOURCES:-stills}"
holders=()
stop_holders() { [ ${#holders[@]} -eq 0 ] || kill "${holders[@]}" 2>/dev/null || true; }
trap stop_holders EXIT
if [ "${HOLD_CPUS:-0}" = 1 ]; then
  for _ in $(seq "$(nproc)"); do
    chrt -i 0 sh -c 'while :; do :; done' &
    holders+=($!)
  done
fi
echo "| pictures/s | picture from | on | share of one core |"
echo "|---|---|---|---|"
whats=(picture "picture and sound")
[ "${TALK:-0}" = 1 ] && whats+=("talk, canceller on" "talk, canceller off")
for fps in "${rates[@]}"; do
  for source_kind in "${sources[@]}"; do
  for what in "${whats[@]}"; do
    (
      CAMSIM_ARGS="--fps $fps"
      source bench/memory/camsim.sh "$build"
      if [ "$source_kind" = stream ]; then
        sed -i "1s|.*|$camsim_url/axis-cgi/mjpg/video.cgi?resolution=320x240\&fps=$fps|" "$home/VANTOREL.PRA"
      fi
      case "$what" in
        "talk, canceller on") printf '[talk]\necho_cancel = on\n' >"$home/vantorel.ini" ;;
        "talk, canceller off") printf '[talk]\necho_cancel = off\n' >"$home/vantorel.ini" ;;
      esac
      export VANTOREL_HOME="$home" SOURCE_KIND="$source_kind" SDL_AUDIODRIVER=dummy QT_QPA_PLATFORM=xcb BUILD="$build" SECONDS_TO_RUN="$seconds" \
        WHAT="$what" FPS="$fps"
      xvfb-run -a -s "-screen 0 640x700x24" bash -c '
        set -e
        "$BUILD"/src/app/vantorel & app=$!
        wid=$(timeout 20 xdotool search --sync --name "^Vantorel$" | head -n 1)
        sleep 1
        xdotool mousemove --window "$wid" 63 254 click 1                                 # 見る
        case "$WHAT" in
          picture) ;;
          talk*) xdotool mousemove --window "$wid" 160 495 click 1 ;;                     # 話す
          *) xdotool mousemove --window "$wid" 138 254 click 1 ;;                         # 聞く
        esac
        sleep 3
        ticks() { awk "{print \$14 + \$15}" /proc/$app/stat; }
        t0=$(ticks); s0=$(date +%s.%N)
        sleep "$SECONDS_TO_RUN"
        t1=$(ticks); s1=$(date +%s.%N)
        hz=$(getconf CLK_TCK)
        share=$(awk -v a="$t0" -v b="$t1" -v s="$s0" -v e="$s1" -v hz="$hz" "BEGIN { printf \"%.2f%%\", 100 * (b - a) / hz / (e - s) }")
        echo "| $FPS | $SOURCE_KIND | $WHAT | $share |"
        kill -TERM $app
        wait $app || true'
    )
  done
  done
done
