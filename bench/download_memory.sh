#!/usr/bin/env bash
# Memory of the AVI download: nvrweb.cgi "/4013" streams SIZE MiB (200 by
# default) of coresim's clip into a pipe, once with a fast reader and once
# with a reader paced at PACE MiB/s (20 by default), slower than the core
# service, so that the frame queue fills and the producer waits. Reports the
# CGI's peak RSS of each. Target: under 24 MiB. Needs a build without
# sanitizers.
#   bench/download_memory.sh [BUILD_DIR] [SIZE_MIB] [PACE_MIB_S]   BUILD_DIR defaults to build/
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
B=$(cd "${1:-$top/build}" && pwd)
size_mib=${2:-200}
pace=${3:-20}
target_kib=$((24 * 1024))
for f in nvrweb.cgi coresim; do
  [ -x "$B/$f" ] || { echo "download_memory: $B/$f missing: build it first" >&2; exit 2; }
done
[ -x /usr/bin/time ] || { echo "download_memory: /usr/bin/time missing (Debian package \"time\")" >&2; exit 2; }
if ldd "$B/nvrweb.cgi" 2>/dev/null | grep -q 'lib[at]san'; then
  echo "download_memory: $B/nvrweb.cgi is a sanitizer build; its RSS says nothing" >&2
  exit 2
fi

base=${TMPDIR:-/tmp}
work=$(mktemp -d "$base/nvrweb-dlbench-XXXXXX")
. "$top/bench/coresim.sh"
cleanup() { stop_coresim; rm -rf "$work"; }
trap cleanup EXIT

root="$work/root"
start_coresim "$B" "$root" "$work/coresim.log" CORESIM_DOWNLOAD_MAX_BYTES=$((size_mib * 1024 * 1024))

# A day of channel 0: more than SIZE MiB; coresim stops at the cap.
body='{"id":0,"streamType":0,"startTime":"2019-05-01T00:00:00Z","endTime":"2019-05-02T00:00:00Z"}'

cgi() {  # cgi TIMEFILE: the download as the web server runs it, body on stdout
  env -i PATH=/usr/bin:/bin NVRWEB_ROOT="$root" TZ=UTC REQUEST_METHOD=POST \
    CONTENT_TYPE=application/json CONTENT_LENGTH=${#body} PATH_INFO=/4013 REMOTE_ADDR=127.0.0.1 \
    /usr/bin/time -v -o "$1" "$B/nvrweb.cgi" <<<"$body"
}
paced_reader() {  # reads stdin 1 MiB at a time at about $pace MiB/s; prints the byte count
  local total=0 n
  local nap
  nap=$(awk -v p="$pace" 'BEGIN { printf "%.3f", 1 / p }')
  while :; do
    n=$(dd bs=1M count=1 iflag=fullblock status=none 2>/dev/null | wc -c)
    [ "$n" -eq 0 ] && break
    total=$((total + n))
    sleep "$nap"
  done
  echo "$total"
}
field() { sed -n "s/^[[:space:]]*$1: //p" "$2"; }

status=0
report() {  # report NAME TIMEFILE BYTES
  local rss wall
  rss=$(field "Maximum resident set size (kbytes)" "$2")
  wall=$(field "Elapsed (wall clock) time (h:mm:ss or m:ss)" "$2")
  printf '%-12s %8.1f MiB out  peak RSS %6.1f MiB  wall %s\n' "$1" \
    "$(awk -v b="$3" 'BEGIN { print b / 1048576 }')" "$(awk -v k="$rss" 'BEGIN { print k / 1024 }')" "$wall"
  if [ "$3" -lt $((size_mib * 1024 * 1024)) ]; then
    echo "  FAIL: less than $size_mib MiB came out"
    status=1
  fi
  if [ "$rss" -ge "$target_kib" ]; then
    echo "  FAIL: peak RSS at or above the 24 MiB target"
    status=1
  fi
}

fast=$(cgi "$work/fast.time" | wc -c)
report "fast reader" "$work/fast.time" "$fast"
slow=$(cgi "$work/slow.time" | paced_reader)
report "paced $pace/s" "$work/slow.time" "$slow"
exit $status
