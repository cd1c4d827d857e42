#!/usr/bin/env bash
# Measures what confining the embedded engine costs a CGI process at start: the median wall time
# of the gateway answering a status request (which attaches nothing) with a configuration that
# lists no embedded database, with one that lists one (its engine configuration folder found and
# checked), and with one whose folder is removed before each run (made anew); and, for scale, a
# one-row query on the embedded database (which also checks the file the engine opened). The
# kinds of run take turns, so that a busy machine weighs on each alike.
# Usage: bench/embedded_start_benchmark.sh [PROGRAM]   (XG_BENCH_RUNS runs of each, default 200)
# Needs /usr/bin/time (Debian package time).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
program=${1:-}
if [ -z "$program" ]; then
  program=$root/build-release/xmlgateway
  [ -x "$program" ] || program=$root/build/xmlgateway
fi
runs=${XG_BENCH_RUNS:-200}
[ -x "$program" ] || { echo "no gateway at $program: build it first" >&2; exit 2; }

work=$(mktemp -d /tmp/xg-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir "$work/lock" "$work/db"
"$root/scripts/create-demo-db.sh" "$work/db/demo.fdb" >/dev/null
printf '[databases]\n' >"$work/plain.conf"
printf '[databases]\nembedded = %s/db/*.fdb\n' "$work" >"$work/embedded.conf"

form() {  # form DOCUMENT: the POST body
  printf 'SENDDATA=%s' "$(printf '%s' "$1" | base64 -w0 | sed 's/+/%2B/g; s/\//%2F/g; s/=/%3D/g')"
}
b64() { printf '%s' "$1" | base64 -w0; }
status_body=$(form '<?xml version="1.0"?><SENDDATA><SERVICE>SERVICESTATUS</SERVICE></SENDDATA>')
query_body=$(form "<?xml version=\"1.0\"?><SENDDATA><SERVICE>SERVICEOPENSQL</SERVICE><DB>$work/db/demo.fdb</DB><USER>SYSDBA</USER><PASS>$(b64 x)</PASS><SQL>$(b64 'select name from products where code = 1')</SQL></SENDDATA>")

run() {  # run CONFIG BODY: "wall CPU" microseconds of one CGI process
  local start=$EPOCHREALTIME
  /usr/bin/time -f '%U %S' -o "$work/cpu" env -i REQUEST_METHOD=POST SERVER_PROTOCOL=HTTP/1.1 \
    CONTENT_LENGTH=${#2} PATH=/usr/bin:/bin XMLGATEWAY_CONF="$1" FIREBIRD_LOCK="$work/lock" \
    "$program" <<<"$2" >"$work/out" 2>&1
  local end=$EPOCHREALTIME
  echo "$(((${end/./} - ${start/./}))) $(awk '{printf "%d", ($1 + $2) * 1000000}' "$work/cpu")"
}

check() {  # check TEXT: the last answer holds it
  grep -q "$1" "$work/out" || { echo "unexpected answer:" >&2; head -c 600 "$work/out" >&2; exit 1; }
}

: >"$work/plain" >"$work/found" >"$work/made" >"$work/query"
run "$work/embedded.conf" "$status_body" >/dev/null  # the folder, made once
for ((i = 0; i < runs; i++)); do
  run "$work/plain.conf" "$status_body" >>"$work/plain"
  check '<STATUS>'
  run "$work/embedded.conf" "$status_body" >>"$work/found"
  check '<STATUS>'
  rm -rf "$work"/lock/xmlgateway-engine-*
  run "$work/embedded.conf" "$status_body" >>"$work/made"
  check '<STATUS>'
  run "$work/embedded.conf" "$query_body" >>"$work/query"
  check 'Coffee'
done

median() {  # median FILE COLUMN
  awk -v c="$2" '{print $c}' "$1" | sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'
}
# CPU times come in steps of 10 ms: their mean says more than their median.
mean() { awk -v c="$2" '{s += $c} END {printf "%d", s / NR}' "$1"; }
printf '%d runs each, one CGI process (%s): median wall time, mean CPU time (user + system)\n' "$runs" "$program"
for kind in plain found made query; do
  awk -v k="$kind" -v w="$(median "$work/$kind" 1)" -v c="$(mean "$work/$kind" 2)" \
    -v pw="$(median "$work/plain" 1)" -v pc="$(mean "$work/plain" 2)" 'BEGIN {
    split("plain:status, no embedded database|found:status, embedded listed, folder found|made:status, embedded listed, folder made anew|query:one-row query on the embedded database", names, "|")
    for (i in names) { split(names[i], kv, ":"); label[kv[1]] = kv[2] }
    printf "  %-48s wall %8.2f ms (%+7.2f)  CPU %7.2f ms (%+6.2f)\n", label[k], w / 1000,
           (w - pw) / 1000, c / 1000, (c - pc) / 1000 }'
done
echo "  (in brackets: against the first line)"
