#!/usr/bin/env bash
# Peak resident memory of `vantorel-cli watch` over 500 and 5,000 stills from the simulated
# camera on 127.0.0.1 (GNU time's maximum resident set size). The two peaks should match.
# Usage: bench/memory/cli_watch_memory.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
source bench/memory/camsim.sh "$build"
for count in 500 5000; do
  VANTOREL_HOME="$home" /usr/bin/time -f "%M" -o "$home/peak" \
    "$build"/tools/cli/vantorel-cli watch "$camsim_url/axis-cgi/jpg/image.cgi?resolution=320x240" --count "$count" \
    >"$home/watch.out"
  echo "watch --count $count: peak resident $(cat "$home/peak") KiB; $(tail -n 1 "$home/watch.out")"
done
