#!/usr/bin/env bash
# Instructions per 10 ms frame of the echo canceller, counted by callgrind (stable on a
# shared machine, unlike times): `echo_room --cost FRAMES` runs FRAMES frames of the
# synthetic short room through EchoCanceller::Process, and only what runs inside Process
# is counted (the set-up is not). Prints the engine and the instructions per frame.
# Usage: bench/audio_tx/echo_callgrind.sh [BUILD_DIR] [FRAMES]   (defaults: build 3000)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
frames=${2:-3000}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
valgrind -q --tool=callgrind --callgrind-out-file="$out/cg.out" \
  --toggle-collect='vantorel::EchoCanceller::Process*' "$build"/bench/audio_tx/echo_room --cost "$frames"
total=$(awk '/^totals:/ { print $2 }' "$out/cg.out")
engine=$("$build"/bench/audio_tx/echo_room --engine)
echo "$engine: $((total / frames)) instructions per 10 ms frame ($total over $frames frames)"
