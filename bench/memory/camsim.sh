# Sourced by the memory and processor scripts: starts the simulated camera of build "$1" on a
# free port of 127.0.0.1 (with the options in CAMSIM_ARGS) and a scratch program directory,
# and stops both on exit. Sets camsim_url and home (the scratch directory), whose parameter
# file VANTOREL.PRA points the window's three URLs at the camera (320x240 stills).
home=$(mktemp -d /tmp/vantorel-memory-XXXXXX)
camsim_pid=""
cleanup() {
  [ -n "$camsim_pid" ] && kill "$camsim_pid" 2>/dev/null || true
  rm -rf "$home"
}
trap cleanup EXIT
"$1"/tools/camsim/vantorel-camsim --port 0 ${CAMSIM_ARGS:-} >"$home/camsim.out" 2>&1 &
camsim_pid=$!
camsim_url=""
for _ in $(seq 100); do
  camsim_url=$(grep -o 'http://127\.0\.0\.1:[0-9]*' "$home/camsim.out" | head -n 1 || true)
  [ -n "$camsim_url" ] && break
  sleep 0.1
done
[ -n "$camsim_url" ] || { echo "the simulated camera did not start" >&2; cat "$home/camsim.out" >&2; exit 1; }
printf '%s\n%s\n%s\n' "$camsim_url/axis-cgi/jpg/image.cgi?resolution=320x240" \
  "$camsim_url/axis-cgi/audio/receive.cgi" "$camsim_url/axis-cgi/audio/transmit.cgi" >"$home/VANTOREL.PRA"
