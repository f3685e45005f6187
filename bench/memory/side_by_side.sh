#!/usr/bin/env bash
# Memory of the window program beside a minimal Qt baseline, in the same run under one Xvfb:
# vantorel with picture and sound on against the simulated camera on 127.0.0.1, and
# baseline_labels (the same Japanese labels, widgets and font, nothing else). Samples both
# every 10 s for SECONDS (default 600): VmRSS, Pss and private pages (Private_Clean +
# Private_Dirty, /proc/PID/smaps_rollup), in KiB. Prints a table per minute, the differences,
# and whether vantorel is flat from minute 2 to the end. The goal (reported, not enforced):
# vantorel within 10 MB of the baseline, and flat.
# Usage: bench/memory/side_by_side.sh [BUILD_DIR] [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
seconds=${2:-600}
source bench/memory/camsim.sh "$build"

export VANTOREL_HOME="$home" SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$home/sound.raw" QT_QPA_PLATFORM=xcb BUILD="$build" SECONDS_TO_RUN="$seconds"
xvfb-run -a -s "-screen 0 1100x700x24" bash -c '
  set -e
  # The baseline first, so that vantorel is shown and clicked last and keeps the focus.
  "$BUILD"/bench/memory/baseline_labels & base=$!
  trap "kill $base 2>/dev/null || true" EXIT
  bwid=$(timeout 20 xdotool search --sync --name "^baseline_labels$" | head -n 1)
  xdotool windowmove "$bwid" 560 0
  "$BUILD"/src/app/vantorel & app=$!
  wid=$(timeout 20 xdotool search --sync --name "^Vantorel$" | head -n 1)
  xdotool windowmove "$wid" 0 0
  sleep 1
  xdotool mousemove --window "$wid" 63 254 click 1   # 見る
  xdotool mousemove --window "$wid" 138 254 click 1  # 聞く
  # VmRSS, Pss and Private of process $1, in KiB.
  sample() {
    local rss
    rss=$(awk "/^VmRSS:/ {print \$2}" /proc/$1/status)
    awk -v rss="$rss" "/^Pss:/ {p = \$2} /^Private_(Clean|Dirty):/ {q += \$2} END {print rss, p, q}" /proc/$1/smaps_rollup
  }
  start=$(date +%s)
  for ((t = 10; t <= SECONDS_TO_RUN; t += 10)); do
    sleep $((start + t - $(date +%s)))
    kill -0 $app || { echo "vantorel ended early"; exit 1; }
    kill -0 $base || { echo "the baseline ended early"; exit 1; }
    echo "$t $(sample $app) $(sample $base)" >>"$VANTOREL_HOME/samples.txt"
  done
  picture() { import -window "$wid" rgb:- | md5sum; }
  sound() { tail -c 32000 "$SDL_DISKAUDIOFILE" | tr -d "\\0" | wc -c; }
  p1=$(picture); sleep 2; p2=$(picture)
  echo "at the end: vantorel picture changing: $([ "$p1" != "$p2" ] && echo yes || echo no); non-zero bytes in its last 2 s of sound: $(sound) of 32000"
  kill -TERM $app
  wait $app || true'

# The table: one row per minute (every 10 s sample is kept in samples.txt), then the verdict.
awk -v seconds="$seconds" '
  function mib(k) { return sprintf("%.1f", k / 1024) }
  { t[NR] = $1; vr[NR] = $2; vp[NR] = $3; vq[NR] = $4; br[NR] = $5; bp[NR] = $6; bq[NR] = $7
    if ($2 > vmax) vmax = $2; if ($5 > bmax) bmax = $5 }
  END {
    print "| elapsed | vantorel VmRSS | Pss | Private | baseline VmRSS | Pss | Private | difference VmRSS | Pss | Private |"
    print "|---|---|---|---|---|---|---|---|---|---|"
    for (i = 1; i <= NR; i++) {
      if (t[i] % 60 != 0 && i != NR) continue
      printf "| %d s | %d | %d | %d | %d | %d | %d | %+d (%s MiB) | %+d | %+d |\n", t[i], vr[i], vp[i], vq[i], br[i], bp[i], bq[i],
        vr[i] - br[i], mib(vr[i] - br[i]), vp[i] - bp[i], vq[i] - bq[i]
    }
    print "(KiB; Pss splits the pages both processes map, so each side carries part of the other'"'"'s libraries)"
    from = 1; for (i = 1; i <= NR; i++) if (t[i] == 120) from = i
    printf "vantorel from %d s to the end: VmRSS %+d KiB, Pss %+d KiB, Private %+d KiB; highest VmRSS %d KiB (baseline %d KiB)\n",
      t[from], vr[NR] - vr[from], vp[NR] - vp[from], vq[NR] - vq[from], vmax, bmax
    flat = (vr[NR] - vr[from]) < 2048
    printf "vantorel flat (VmRSS growth from %d s under 2 MiB): %s\n", t[from], flat ? "yes" : "NO"
    d = vr[NR] - br[NR]
    printf "goal, vantorel within 10 MB (9,766 KiB) of the baseline: %s (VmRSS %+d KiB at the end, Private %+d KiB)\n",
      d <= 9766 ? "met" : "not met", d, vq[NR] - bq[NR]
  }' "$home/samples.txt"
