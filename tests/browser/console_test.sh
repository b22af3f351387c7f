#!/usr/bin/env bash
# Browser test of the console: starts the local device on a free port, lets
# headless Chromium open console.html?selftest (which logs in, lists the
# resources, sends "/6100" and formats a disk through the page's own
# controls) and prints the result line the page writes; fails unless it
# says PASS.
#   tests/browser/console_test.sh [BUILD_DIR]
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
bdir=$(cd "${1:-$top/build}" && pwd)
scratch=$(mktemp -d)
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
run_pid=""
cleanup() {
  [ -n "$run_pid" ] && kill -TERM "$run_pid" 2>/dev/null && wait "$run_pid" 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT

# A short format, so that the bar is seen moving within seconds; sessions
# required, so that the page must carry its login on every request.
CORESIM_FORMAT_SECONDS=4 "$top/scripts/run" --secure --no-deps --no-build --build-dir "$bdir" --port "$port" \
  --dir "$scratch/dev" > "$scratch/run.log" 2>&1 &
run_pid=$!
for _ in $(seq 100); do
  grep -qs 'local device is up' "$scratch/run.log" && break
  kill -0 "$run_pid" 2>/dev/null || { cat "$scratch/run.log"; exit 1; }
  sleep 0.2
done

python3 "$top/tests/browser/selftest_page.py" "http://127.0.0.1:$port/console.html?selftest" 60
