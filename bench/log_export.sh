#!/usr/bin/env bash
# Log export at full size: coresim holds ENTRIES log entries (100 000 by
# default, its store's bound), nvrweb.cgi "/1003" exports all of them as CSV.
# Reports rows/s, wall time and peak RSS of the CGI, and the search of one
# page over the same log. Target: the export well under 10 s (aim: 3 s).
#   bench/log_export.sh [BUILD_DIR] [ENTRIES] [REFERENCE RUNS]
# BUILD_DIR defaults to build/. With REFERENCE (bench/minexport.c built), the
# export and the reference writing the same rows from the same export file
# take turns RUNS times; the rows must be the same.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
B=$(cd "${1:-$top/build}" && pwd)
entries=${2:-100000}
reference=${3:-}
ref_runs=${4:-5}
for f in nvrweb.cgi coresim; do
  [ -x "$B/$f" ] || { echo "log_export: $B/$f missing: build it first" >&2; exit 2; }
done
[ -x /usr/bin/time ] || { echo "log_export: /usr/bin/time missing (Debian package \"time\")" >&2; exit 2; }

# The recorder's /tmp is in RAM: the scratch root goes to /dev/shm when it
# can, so that the export file is not timed against a disk.
base=${TMPDIR:-}
[ -z "$base" ] && { [ -d /dev/shm ] && [ -w /dev/shm ] && base=/dev/shm || base=/tmp; }
work=$(mktemp -d "$base/nvrweb-logbench-XXXXXX")
. "$top/bench/coresim.sh"
cleanup() { stop_coresim; rm -rf "$work"; }
trap cleanup EXIT

root="$work/root"
# coresim keeps a link to each export file, which the CGI removes.
start_coresim "$B" "$root" "$work/coresim.log" CORESIM_LOG_ENTRIES=$entries CORESIM_EXPORT_KEEP="$work/kept.dat"

cgi() {  # cgi PATH BODY OUT: one request as the web server runs it, timed
  env -i PATH=/usr/bin:/bin NVRWEB_ROOT="$root" TZ=UTC REQUEST_METHOD=POST \
    CONTENT_TYPE=application/json CONTENT_LENGTH=${#2} PATH_INFO="$1" REMOTE_ADDR=127.0.0.1 \
    /usr/bin/time -v -o "$3.time" "$B/nvrweb.cgi" <<<"$2" >"$3"
}
field() { sed -n "s/^[[:space:]]*$1: //p" "$2"; }
seconds() {  # "m:ss.cc" or "h:mm:ss" as seconds
  awk -F: '{ if (NF == 3) print $1 * 3600 + $2 * 60 + $3; else print $1 * 60 + $2 }' <<<"$1"
}

search='{"language":"en","startTime":"1970-01-02 00:00:00","endTime":"2037-12-31 23:59:59","mainType":1,"subTypeArr":[10],"curPageNum":500,"chnMask":"'$(printf '1%.0s' $(seq 64))'","searchNoChn":1}'
export_body='{"language":"en","startTime":"1970-01-02T00:00:00","endTime":"2037-12-31T23:59:59","mainType":1,"subTypeArr":[10],"curPageNum":1,"ch":"18446744073709551615","na":1}'

# The first request makes coresim fill its log; not part of the figures.
cgi /1002 "$search" "$work/warm.out"
cgi /1002 "$search" "$work/search.out"
cgi /1003 "$export_body" "$work/export.csv"

rows=$(($(grep -c $'\r$' "$work/export.csv") - 4))  # two header lines, the blank line, the column row
wall=$(seconds "$(field 'Elapsed (wall clock) time (h:mm:ss or m:ss)' "$work/export.csv.time")")
rss=$(field 'Maximum resident set size (kbytes)' "$work/export.csv.time")
search_wall=$(seconds "$(field 'Elapsed (wall clock) time (h:mm:ss or m:ss)' "$work/search.out.time")")
search_rss=$(field 'Maximum resident set size (kbytes)' "$work/search.out.time")
core_rss=$(sed -n 's/^VmHWM:[[:space:]]*//p' "/proc/$core_pid/status")
left=$(ls "$root/tmp/log")

core_ms=$(sed -n 's/.*log export: .* in \([0-9]*\) ms$/\1/p' "$work/coresim.log" | tail -1)
echo "scratch root under $base"
echo "log export: $rows rows of $entries entries in ${wall} s ($(awk "BEGIN {printf \"%.0f\", $rows / ($wall > 0 ? $wall : 0.01)}") rows/s), CGI peak RSS ${rss} KiB, CSV $(stat -c %s "$work/export.csv") bytes"
echo "log search (page 500 of the same log): ${search_wall} s, CGI peak RSS ${search_rss} KiB"
echo "coresim peak RSS ${core_rss}; files left in /tmp/log: ${left:-none}"
echo "  of which coresim writing the export file: ${core_ms} ms; the CGI itself: $(awk "BEGIN {printf \"%.2f\", $wall - $core_ms / 1000}") s"
[ "$rows" -eq "$entries" ] || { echo "log_export: expected $entries rows" >&2; exit 1; }

if [ -n "$reference" ]; then
  ms() { echo $(( $(date +%s%N) / 1000000 )); }
  spread() { sort -n | awk '{a[NR]=$1} END {printf "%s/%s/%s", a[1], a[int((NR+1)/2)], a[NR]}'; }
  : > "$work/cgi.ms"; : > "$work/ref.ms"; : > "$work/own.ms"
  for _ in $(seq "$ref_runs"); do
    rm -f "$work/kept.dat"
    t0=$(ms); cgi /1003 "$export_body" "$work/export.csv"; t1=$(ms)
    core=$(sed -n 's/.*log export: .* in \([0-9]*\) ms$/\1/p' "$work/coresim.log" | tail -1)
    t2=$(ms); TZ=UTC "$reference" "$work/kept.dat" > "$work/reference.csv"; t3=$(ms)
    echo $((t1 - t0)) >> "$work/cgi.ms"; echo $((t1 - t0 - core)) >> "$work/own.ms"; echo $((t3 - t2)) >> "$work/ref.ms"
  done
  tail -n +5 "$work/export.csv" | cmp -s - "$work/reference.csv" && same=same || same=DIFFERENT
  read -r own_med < <(sort -n "$work/own.ms" | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
  read -r ref_med < <(sort -n "$work/ref.ms" | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
  echo "log export reference: $(awk "BEGIN {printf \"%.2f\", $own_med / ($ref_med > 0 ? $ref_med : 1)}")x over $ref_runs turns;" \
    "CGI min/median/max $(spread < "$work/cgi.ms") ms, of which the CGI's own (less coresim writing the file)" \
    "$(spread < "$work/own.ms") ms; reference $(spread < "$work/ref.ms") ms; rows $same"
fi
awk "BEGIN {exit !($wall < 10)}" || { echo "log_export: slower than 10 s" >&2; exit 1; }
