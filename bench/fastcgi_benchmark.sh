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
# shellcheck source=lib/one_row_setup.sh
source "$root/bench/lib/one_row_setup.sh"
require_bench_tools lighttpd

start_bench_work fcgi

make_big_tables
build_floor
start_node_peer

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
plain_port=$(bench_port)
pooled_port=$(bench_port)
start_lighttpd plain "$plain_port" off
start_lighttpd pooled "$pooled_port" on
baseline=${XG_BASELINE_PROGRAM:+$(realpath "$XG_BASELINE_PROGRAM")}
if [ -n "$baseline" ]; then
  baseline_port=$(bench_port)
  start_lighttpd baseline "$baseline_port" on "$baseline"
fi
write_bodies
check_answers "http://127.0.0.1:$plain_port/fcgi/xmlgateway"

echo "wrk, 8 connections, ${seconds} s each: $bench_sql"
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
measure_node_peer "Node peer (node-firebird, pool of 4)"
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
