#!/usr/bin/env bash
# The CGI program through lighttpd, an older build of it against this one in the same run: wrk
# posting the one-row query SELECT * FROM BIG WHERE ID = 4711 through the Firebird server, in
# alternating rounds (old, new, old, new, ...) so that both see the same
# machine. Prints requests per second and the 50 % and 99 % latencies of every round, the medians
# of each build, and new / old. Then, when strace is there, each program alone (no web server)
# answering the same request REPEATS times under strace: the medians of the moments its answer
# is written, its standard output ends and it exits. What it shows: lighttpd finishes a CGI response when the
# program's standard output ends, and the program ends it as soon as the answer is written instead
# of at exit, after the client library's shutdown.
# Usage: bench/cgi_answer_end_benchmark.sh [OLD-REVISION] [SECONDS] [ROUNDS] [CONNECTIONS]
#   OLD-REVISION  the commit the old build comes from (default: 46808e8, where the output ended
#                 only at exit); built from `git archive` into build-bench-old/
#   SECONDS       length of each wrk run (default: 10)
#   ROUNDS        rounds of the two (default: 3)
#   CONNECTIONS   wrk's connections (default: 1: the latency of one request at a time; with as
#                 many connections as processors the machine's processors are the queue, and the
#                 latencies measure the queue)
# The new build is this tree's release build in build-release/ (built here when missing; rebuilt
# when older than the sources is up to you). Needs the Firebird server's connection data in
# XG_FB_SERVER_HOST, XG_FB_SERVER_USER and XG_FB_SERVER_PASSWORD, wrk and lighttpd.
# XG_REPEATS: runs of each program under strace (default 15).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
old_revision=${1:-46808e8}
seconds=${2:-10}
rounds=${3:-3}
connections=${4:-1}
for variable in XG_FB_SERVER_HOST XG_FB_SERVER_USER XG_FB_SERVER_PASSWORD; do
  [ -n "${!variable:-}" ] || { echo "$variable is not set: the benchmark needs the Firebird server" >&2; exit 2; }
done
for tool in wrk lighttpd curl; do
  command -v "$tool" >/dev/null || { echo "needs $tool (scripts/install.sh)" >&2; exit 2; }
done
isql_bin=$(command -v isql-fb || command -v isql)

release_build() {  # SOURCE BUILD (its compiler output in BUILD/bench-build.log)
  mkdir -p "$2"
  { cmake -S "$1" -B "$2" -DCMAKE_BUILD_TYPE=Release -DXG_BUILD_TESTS=OFF &&
    cmake --build "$2" -j"$(nproc)" --target xmlgateway; } >"$2/bench-build.log" 2>&1 ||
    { cat "$2/bench-build.log" >&2; echo "the build in $2 failed" >&2; exit 1; }
}
echo "building the old program ($old_revision) in build-bench-old/ and the new one in build-release/"
old_dir=$root/build-bench-old
rm -rf "$old_dir/src"
mkdir -p "$old_dir/src"
git -C "$root" archive "$old_revision" | tar -x -C "$old_dir/src"
release_build "$old_dir/src" "$old_dir/build"
release_build "$root" "$root/build-release"
old_program=$old_dir/build/xmlgateway
new_program=$root/build-release/xmlgateway

work=$(mktemp -d /tmp/xg-bench-cgi.XXXXXX)
chmod 755 "$work"
mkdir -p "$work/db"
chmod 777 "$work/db"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

server_db=$XG_FB_SERVER_HOST:$work/db/big.fdb
echo "building the table BIG (10 000 rows) on the server"
{
  printf "CREATE DATABASE '%s' USER '%s' PASSWORD '%s';\n" "$server_db" "$XG_FB_SERVER_USER" "$XG_FB_SERVER_PASSWORD"
  cat "$root/bench/big_table.sql"
} | "$isql_bin" -q -bail >/dev/null

wait_for() { for _ in $(seq 1 100); do curl -s -o /dev/null "$1" && return 0; sleep 0.1; done; return 1; }
start_lighttpd() {  # NAME PROGRAM: sets url[NAME] to the CGI URL
  local state=$work/$1 port conf
  mkdir -p "$state"
  printf '[databases]\nallow = %s\n' "$server_db" >"$state/xmlgateway.conf"
  for _ in 1 2 3; do
    port=$((20000 + RANDOM % 12000))
    conf=$(XG_FCGI_PROCS=0 "$root/scripts/write-lighttpd-conf.sh" "$state" "$port" "$2" C "$state/xmlgateway.conf")
    lighttpd -D -f "$conf" >"$state/lighttpd.out" 2>&1 &
    pids+=($!)
    if wait_for "http://127.0.0.1:$port/cgi-bin/xmlgateway"; then
      url[$1]="http://127.0.0.1:$port/cgi-bin/xmlgateway"
      return 0
    fi
  done
  echo "lighttpd does not start: $(cat "$state/lighttpd.out")" >&2
  return 1
}
declare -A url
start_lighttpd old "$old_program"
start_lighttpd new "$new_program"

sql='SELECT * FROM BIG WHERE ID = 4711'
b64() { printf '%s' "$1" | base64 -w0; }
request="<?xml version=\"1.0\"?><SENDDATA><SERVICE>SERVICEOPENSQL</SERVICE><DB>$server_db</DB><USER>$XG_FB_SERVER_USER</USER><PASS>$(b64 "$XG_FB_SERVER_PASSWORD")</PASS><SQL>$(b64 "$sql")</SQL></SENDDATA>"
printf 'SENDDATA=%s\n' "$(b64 "$request" | sed 's/+/%2B/g; s/\//%2F/g; s/=/%3D/g')" >"$work/body"
# Both answer the row before they are measured.
for name in old new; do
  curl -s --data-binary "@$work/body" "${url[$name]}" | grep -q '<ID DATATYPE="INTEGER" DATASIZE="4">4711</ID>' ||
    { echo "no row from the $name program" >&2; exit 1; }
done

declare -A p50s p99s rpss
measure() {  # NAME URL
  local line
  line=$(XG_BODIES=$work/body wrk -t1 -c"$connections" -d"${seconds}s" -s "$root/tests/fastcgi/requests.lua" "$2" | grep '^requests=')
  case $line in *" bad=0 errors=0 "*) ;; *) echo "$1: failed answers: $line" >&2 ;; esac
  local rps p50 p99
  rps=$(sed 's/.* rps=\([0-9.]*\).*/\1/' <<<"$line")
  p50=$(sed 's/.* p50_ms=\([0-9.]*\).*/\1/' <<<"$line")
  p99=$(sed 's/.* p99_ms=\([0-9.]*\).*/\1/' <<<"$line")
  rpss[$1]+="$rps "
  p50s[$1]+="$p50 "
  p99s[$1]+="$p99 "
  printf '  %-4s %9s req/s   p50 %8s ms   p99 %8s ms\n' "$1" "$rps" "$p50" "$p99"
}
median() { tr ' ' '\n' <<<"$1" | grep . | sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
echo "wrk, $connections connections, ${seconds} s each, $rounds rounds: $sql through the Firebird server"
for round in $(seq 1 "$rounds"); do
  echo "round $round"
  measure old "${url[old]}"
  measure new "${url[new]}"
done
for name in old new; do
  printf 'median %-4s %9s req/s   p50 %8s ms   p99 %8s ms\n' "$name" "$(median "${rpss[$name]}")" \
    "$(median "${p50s[$name]}")" "$(median "${p99s[$name]}")"
done
awk -v o50="$(median "${p50s[old]}")" -v n50="$(median "${p50s[new]}")" -v o99="$(median "${p99s[old]}")" \
  -v n99="$(median "${p99s[new]}")" -v orps="$(median "${rpss[old]}")" -v nrps="$(median "${rpss[new]}")" 'BEGIN {
  printf "new / old: p50 %.2fx, p99 %.2fx, req/s %.2fx\n", n50 / o50, n99 / o99, nrps / orps
}'

command -v strace >/dev/null || { echo "(no strace: the moments of one process are not measured)"; exit 0; }
# moments PROGRAM: one CGI run of the request under strace; prints the milliseconds from its start
# to the last write of the answer, to the end of its standard output (the descriptor replaced, or
# else the exit) and to its exit.
moments() {
  local body
  body=$(cat "$work/body")
  printf '%s' "$body" | env -i XMLGATEWAY_CONF="$work/old/xmlgateway.conf" REQUEST_METHOD=POST \
    CONTENT_LENGTH=${#body} strace -f -ttt -e trace=execve,write,dup2,exit_group -o "$work/trace" \
    "$1" >/dev/null 2>&1
  awk 'NR == 1 {start = $2}
       $3 ~ /^write\(1,/ {written = $2}
       $3 ~ /^dup2\(/ && $0 ~ /, 1\)/ {ended = $2}
       $3 ~ /^exit_group/ {exited = $2}
       END {if (!ended) ended = exited
            printf "%.1f %.1f %.1f\n", 1000 * (written - start), 1000 * (ended - start), 1000 * (exited - start)}' "$work/trace"
}
repeats=${XG_REPEATS:-15}
echo "each program alone under strace, $repeats runs each, medians (ms from its start):"
for name in old new; do
  program=$old_program
  [ "$name" = new ] && program=$new_program
  : >"$work/moments.$name"
  for _ in $(seq 1 "$repeats"); do moments "$program" >>"$work/moments.$name"; done
  printf '  %-4s answer written %7s   output ends %7s   exit %7s   output ends after the answer %6s   exit after the output ends %6s\n' "$name" \
    "$(median "$(cut -d' ' -f1 "$work/moments.$name" | tr '\n' ' ')")" \
    "$(median "$(cut -d' ' -f2 "$work/moments.$name" | tr '\n' ' ')")" \
    "$(median "$(cut -d' ' -f3 "$work/moments.$name" | tr '\n' ' ')")" \
    "$(median "$(awk '{print $2 - $1}' "$work/moments.$name" | tr '\n' ' ')")" \
    "$(median "$(awk '{print $3 - $2}' "$work/moments.$name" | tr '\n' ' ')")"
done
