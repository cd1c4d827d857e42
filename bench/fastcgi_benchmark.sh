#!/usr/bin/env bash
# Small requests through lighttpd: wrk with 8 connections posting the one-row query
# SELECT * FROM BIG WHERE ID = 4711 for a few seconds to each of
#   - the gateway as a CGI program,
#   - the gateway as FastCGI processes (8, one per connection, started by lighttpd) without
#     attachment reuse,
#   - the same with [pool] attachments = on,
# each through the Firebird server and on the embedded engine, and to the pooled Node peer
# (bench/node-peer: node-firebird, a pool of 4 attachments, the rows as JSON) on the same server
# database, in the same run. Prints requests per second and the 50 % and 99 % latencies of each,
# and the two ratios the FastCGI mode is measured by. Then the floor (bench/client_floor.cpp): the
# client library alone making the gateway's calls for the same query from 8 processes, on kept
# attachments and attaching for every query, with no web server and no XML; no gateway answer
# through lighttpd can pass it, so it shows how far each ratio can go on this machine.
# Usage: bench/fastcgi_benchmark.sh [PROGRAM] [SECONDS]
#   PROGRAM  the built gateway (default: build/xmlgateway)
#   SECONDS  length of each run (default: 10)
# With XG_BASELINE_PROGRAM naming another build of the gateway (an older one), its FastCGI
# processes with reuse are measured in the same run, and the ratios of PROGRAM against it printed.
# Needs the Firebird server's connection data in XG_FB_SERVER_HOST, XG_FB_SERVER_USER and
# XG_FB_SERVER_PASSWORD, and wrk, node and npm (scripts/install.sh); installs node-firebird from
# the npm registry into the run's own folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
program=$(realpath "${1:-$root/build/xmlgateway}")
seconds=${2:-10}
[ -x "$program" ] || { echo "no gateway at $program: build it first" >&2; exit 2; }
for variable in XG_FB_SERVER_HOST XG_FB_SERVER_USER XG_FB_SERVER_PASSWORD; do
  [ -n "${!variable:-}" ] || { echo "$variable is not set: the benchmark needs the Firebird server" >&2; exit 2; }
done
for tool in wrk node npm lighttpd; do
  command -v "$tool" >/dev/null || { echo "needs $tool (scripts/install.sh)" >&2; exit 2; }
done
isql_bin=$(command -v isql-fb || command -v isql)

work=$(mktemp -d /tmp/xg-bench-fcgi.XXXXXX)
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
embedded_db=$work/db/embedded.fdb
schema=$(cat "$root/bench/big_table.sql")
echo "building the table BIG (10 000 rows) on the server and for the embedded engine"
printf "CREATE DATABASE '%s' USER '%s' PASSWORD '%s';\n%s\n" "$server_db" "$XG_FB_SERVER_USER" \
  "$XG_FB_SERVER_PASSWORD" "$schema" | "$isql_bin" -q -bail >/dev/null
printf "CREATE DATABASE '%s';\n%s\n" "$embedded_db" "$schema" | "$isql_bin" -q -bail >/dev/null

echo "building the floor (bench/client_floor.cpp)"
"${CXX:-c++}" -std=c++20 -O2 -Wall -Wextra "$root/bench/client_floor.cpp" -o "$work/client_floor" -lfbclient

echo "installing node-firebird into $work/node"
cp "$root/bench/node-peer/package.json" "$root/bench/node-peer/server.js" "$work/"
mkdir -p "$work/node"
cp "$work/package.json" "$work/node/"
(cd "$work/node" && npm install --no-audit --no-fund --silent >/dev/null)

port() { echo $((20000 + RANDOM % 12000)); }
wait_for() { for _ in $(seq 1 100); do curl -s -o /dev/null "$1" && return 0; sleep 0.1; done; return 1; }
# Two web servers: one serving the CGI program and FastCGI processes that attach for every request,
# one whose FastCGI processes keep their attachments.
start_lighttpd() {  # NAME PORT POOL(on|off) [PROGRAM]
  local state=$work/$1
  mkdir -p "$state"
  printf '[databases]\nembedded = %s\n[pool]\nattachments = %s\n' "$embedded_db" "$3" >"$state/xmlgateway.conf"
  local conf
  conf=$(XG_FCGI_PROCS=8 "$root/scripts/write-lighttpd-conf.sh" "$state" "$2" "${4:-$program}" C "$state/xmlgateway.conf")
  lighttpd -D -f "$conf" >"$state/lighttpd.out" 2>&1 &
  pids+=($!)
  wait_for "http://127.0.0.1:$2/fcgi/xmlgateway"
}
plain_port=$(port)
pooled_port=$(port)
node_port=$(port)
start_lighttpd plain "$plain_port" off
start_lighttpd pooled "$pooled_port" on
baseline=${XG_BASELINE_PROGRAM:+$(realpath "$XG_BASELINE_PROGRAM")}
if [ -n "$baseline" ]; then
  baseline_port=$(port)
  start_lighttpd baseline "$baseline_port" on "$baseline"
fi
(cd "$work/node" && NODE_PATH=$work/node/node_modules exec node "$work/server.js" "$node_port" "$XG_FB_SERVER_HOST" \
  "$work/db/big.fdb" "$XG_FB_SERVER_USER" "$XG_FB_SERVER_PASSWORD" >"$work/node.out" 2>&1) &
pids+=($!)
wait_for "http://127.0.0.1:$node_port/"

sql='SELECT * FROM BIG WHERE ID = 4711'
b64() { printf '%s' "$1" | base64 -w0; }
gateway_body() {  # DATABASE
  local request="<?xml version=\"1.0\"?><SENDDATA><SERVICE>SERVICEOPENSQL</SERVICE><DB>$1</DB><USER>$XG_FB_SERVER_USER</USER><PASS>$(b64 "$XG_FB_SERVER_PASSWORD")</PASS><SQL>$(b64 "$sql")</SQL></SENDDATA>"
  printf 'SENDDATA=%s\n' "$(b64 "$request" | sed 's/+/%2B/g; s/\//%2F/g; s/=/%3D/g')"
}
gateway_body "$server_db" >"$work/server.body"
gateway_body "$embedded_db" >"$work/embedded.body"
printf 'sql=%s\n' "$(printf '%s' "$sql" | sed 's/ /+/g; s/=/%3D/g; s/\*/%2A/g')" >"$work/node.body"
# Each answer is checked once before it is measured.
curl -s --data-binary "@$work/server.body" "http://127.0.0.1:$plain_port/fcgi/xmlgateway" | grep -q '<ID DATATYPE="INTEGER" DATASIZE="4">4711</ID>' ||
  { echo "the gateway does not answer the row" >&2; exit 1; }
curl -s --data-binary "@$work/node.body" "http://127.0.0.1:$node_port/" | grep -q '"ID":4711' ||
  { echo "the Node peer does not answer the row: $(cat "$work/node.out")" >&2; exit 1; }

declare -A rps p50 p99
measure() {  # NAME URL BODY [ANSWER-END]
  local line
  line=$(XG_BODIES=$3 XG_ANSWER_END=${4:-} wrk -t2 -c8 -d"${seconds}s" -s "$root/tests/fastcgi/requests.lua" "$2" | grep '^requests=')
  case $line in *" bad=0 errors=0 "*) ;; *) echo "$1: failed answers: $line" >&2 ;; esac
  rps[$1]=$(sed 's/.* rps=\([0-9.]*\).*/\1/' <<<"$line")
  p50[$1]=$(sed 's/.* p50_ms=\([0-9.]*\).*/\1/' <<<"$line")
  p99[$1]=$(sed 's/.* p99_ms=\([0-9.]*\).*/\1/' <<<"$line")
  printf '%-40s %9s req/s   p50 %8s ms   p99 %8s ms\n' "$1" "${rps[$1]}" "${p50[$1]}" "${p99[$1]}"
}
echo "wrk, 8 connections, ${seconds} s each: $sql"
measure "CGI, server" "http://127.0.0.1:$plain_port/cgi-bin/xmlgateway" "$work/server.body"
measure "CGI, embedded" "http://127.0.0.1:$plain_port/cgi-bin/xmlgateway" "$work/embedded.body"
measure "FastCGI without reuse, server" "http://127.0.0.1:$plain_port/fcgi/xmlgateway" "$work/server.body"
measure "FastCGI without reuse, embedded" "http://127.0.0.1:$plain_port/fcgi/xmlgateway" "$work/embedded.body"
measure "FastCGI with reuse, server" "http://127.0.0.1:$pooled_port/fcgi/xmlgateway" "$work/server.body"
measure "FastCGI with reuse, embedded" "http://127.0.0.1:$pooled_port/fcgi/xmlgateway" "$work/embedded.body"
if [ -n "$baseline" ]; then
  measure "Baseline FastCGI with reuse, server" "http://127.0.0.1:$baseline_port/fcgi/xmlgateway" "$work/server.body"
  measure "Baseline FastCGI with reuse, embedded" "http://127.0.0.1:$baseline_port/fcgi/xmlgateway" "$work/embedded.body"
fi
measure "Node peer (node-firebird, pool of 4)" "http://127.0.0.1:$node_port/" "$work/node.body" '%]$'
floor() {  # NAME kept|attach
  local line
  line=$(XG_FB_SERVER_USER=$XG_FB_SERVER_USER XG_FB_SERVER_PASSWORD=$XG_FB_SERVER_PASSWORD \
    "$work/client_floor" "$2" "$server_db" "$seconds" "$sql" 8)
  rps[$1]=$(sed 's/.* rps=\([0-9.]*\).*/\1/' <<<"$line")
  printf '%-40s %9s req/s\n' "$1" "${rps[$1]}"
}
floor "Client library alone, kept, server" kept
floor "Client library alone, attaching, server" attach
awk -v reuse="${rps[FastCGI with reuse, server]}" -v node="${rps[Node peer (node-firebird, pool of 4)]}" \
  -v plain="${rps[FastCGI without reuse, server]}" -v cgi="${rps[CGI, server]}" \
  -v reuse99="${p99[FastCGI with reuse, server]}" -v node99="${p99[Node peer (node-firebird, pool of 4)]}" \
  -v kept_floor="${rps[Client library alone, kept, server]}" -v attach_floor="${rps[Client library alone, attaching, server]}" 'BEGIN {
  printf "FastCGI with reuse / Node peer, server: %.2fx req/s, p99 %s ms against %s ms (the client library alone: %.2fx; the gateway reaches %.0f %% of it)\n", reuse / node, reuse99, node99, kept_floor / node, 100 * reuse / kept_floor
  printf "FastCGI without reuse / CGI, server: %.2fx req/s (the client library alone: %.2fx; the gateway reaches %.0f %% of it)\n", plain / cgi, attach_floor / cgi, 100 * plain / attach_floor
}'
if [ -n "$baseline" ]; then
  for where in server embedded; do
    awk -v now="${rps[FastCGI with reuse, $where]}" -v then="${rps[Baseline FastCGI with reuse, $where]}" \
      -v now99="${p99[FastCGI with reuse, $where]}" -v then99="${p99[Baseline FastCGI with reuse, $where]}" -v where="$where" \
      'BEGIN { printf "FastCGI with reuse, %s, against the baseline: %.2fx req/s, p99 %s ms against %s ms\n", where, now / then, now99, then99 }'
  done
fi
