#!/usr/bin/env bash
# Every number of docs/PERFORMANCE.md in one run: builds the Release benchmarks and the
# programs, then runs each benchmark in turn on this machine. The window program's
# memory run lasts VANTOREL_MEMORY_SECONDS (default 600). The 30-minute soak is apart:
# build/bench/app/soak 1800 (docs/RELIABILITY.md). Everything talks to simulated
# cameras on 127.0.0.1.
# Usage: bench/report.sh [LOG]   (default build-release/performance.log)
set -euo pipefail
cd "$(dirname "$0")/.."
build=build-release
log=${1:-$build/performance.log}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVANTOREL_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target g726_bench bench_image bench_image_memory bench_transmit \
  bench_talk_latency echo_room echo_bench bench_listen bench_responsiveness bench_picture_delay bench_ring baseline_labels vantorel vantorel-cli \
  vantorel-camsim >/dev/null
mkdir -p "$(dirname "$log")"
export SDL_AUDIODRIVER=dummy
{
  echo "== $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2), load $(cut -d' ' -f1-3 /proc/loadavg)"
  echo "== G.726 coder"
  "$build"/bench/codec/g726_bench --benchmark_repetitions=10 --benchmark_report_aggregates_only=true
  echo "== camera picture"
  "$build"/bench/image/bench_image --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
  "$build"/bench/image/bench_image_memory
  echo "== vantorel-cli watch memory"
  bench/memory/cli_watch_memory.sh "$build"
  echo "== talking: worker processor time"
  "$build"/bench/audio_tx/bench_transmit
  echo "== talking: latency"
  "$build"/bench/audio_tx/bench_talk_latency
  echo "== echo canceller: the synthetic rooms, time per frame"
  "$build"/bench/audio_tx/echo_room
  "$build"/bench/audio_tx/echo_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
  echo "== listening: latency"
  "$build"/bench/audio_rx/bench_listen --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
  echo "== window thread responsiveness while workers start and stop (camera --fault no-read)"
  QT_QPA_PLATFORM=offscreen "$build"/bench/app/bench_responsiveness 20 2>&1 | grep -v XDG_RUNTIME_DIR
  echo "== the window at a camera's pace: share of one core, 60 s per row"
  bench/app/window_cpu.sh "$build" 60 10 25 2>&1 | grep -v XDG_RUNTIME_DIR
  echo "== picture delay at 25 stills/s"
  QT_QPA_PLATFORM=offscreen "$build"/bench/app/bench_picture_delay 20 25 2>&1 | grep -v XDG_RUNTIME_DIR
  echo "== ring: press at the camera to chime start and to the window in front, 20 rings"
  QT_QPA_PLATFORM=offscreen "$build"/bench/door/bench_ring 20 5 2>&1 | grep -v -e XDG_RUNTIME_DIR -e "does not support raise"
  echo "== vantorel memory beside a minimal Qt program, picture and sound, ${VANTOREL_MEMORY_SECONDS:-600} s"
  bench/memory/side_by_side.sh "$build" "${VANTOREL_MEMORY_SECONDS:-600}" 2>&1 | grep -v XDG_RUNTIME_DIR
  echo "== load at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
} 2>&1 | tee "$log"
