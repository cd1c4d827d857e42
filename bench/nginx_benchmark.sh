#!/usr/bin/env bash
# Small requests through nginx, as the package serves them: nginx keeps its connections to a
# gateway started the way the packaged xmlgateway.service starts it (its own listening socket,
# its workers, attachments kept; once with the session check of kept attachments, the default,
# and once with [pool] check-session = off), and wrk posts the one-row query
# SELECT * FROM BIG WHERE ID = 4711 through the Firebird server with 8 and with 64 connections.
# The same load goes to the pooled Node peer (bench/node-peer: node-firebird, a pool of 4
# attachments) in the same run, and the floor (bench/client_floor.cpp: the client library alone,
# on kept attachments, from as many processes as connections) shows how far any answer through
# a web server can go on this machine. Prints requests per second and the 50 % and 99 %
# latencies of each, and the gateway's ratios against the peer.
# Usage: bench/nginx_benchmark.sh [PROGRAM] [SECONDS]
#   PROGRAM  the built gateway (default: build/xmlgateway)
#   SECONDS  length of each run (default: 10)
# Needs XG_FB_SERVER_HOST, XG_FB_SERVER_USER and XG_FB_SERVER_PASSWORD, and nginx, wrk, node and
# npm (scripts/install.sh); installs node-firebird from the npm registry into the run's folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
program=$(realpath "${1:-$root/build/xmlgateway}")
seconds=${2:-10}
[ -x "$program" ] || { echo "no gateway at $program: build it first" >&2; exit 2; }
# shellcheck source=lib/one_row_setup.sh
source "$root/bench/lib/one_row_setup.sh"
require_bench_tools nginx

start_bench_work nginx

make_big_tables
build_floor
start_node_peer

# The gateway as the packaged units run it: xmlgateway.socket's listening socket as its standard
# input and `--fastcgi -` (a supervisor and its workers, as many as the default gives), the
# shipped configuration's defaults and kept attachments; once with the session check (the
# default) and once with [pool] check-session = off.
start_gateway() {  # NAME CHECK-SESSION
  mkdir -p "$work/$1"
  printf '[pool]\nattachments = on\ncheck-session = %s\n' "$2" >"$work/$1/xmlgateway.conf"
  python3 - "$work/$1/fastcgi.socket" "$program" <<'LAUNCH' >"$work/$1/gateway.out" 2>&1 &
import os, socket, sys
listener = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
listener.bind(sys.argv[1])
listener.listen(128)
os.dup2(listener.fileno(), 0)
os.execve(sys.argv[2], [sys.argv[2], "--fastcgi", "-"],
          dict(os.environ, XMLGATEWAY_CONF=os.path.dirname(sys.argv[1]) + "/xmlgateway.conf", LANG="C"))
LAUNCH
  pids+=($!)
  for _ in $(seq 1 100); do [ -S "$work/$1/fastcgi.socket" ] && break; sleep 0.1; done
}
start_gateway checked on
start_gateway unchecked off

nginx_port=$(bench_port)
mkdir -p "$work/nginx"
cat >"$work/nginx.conf" <<CONF
daemon off;
user root;
worker_processes auto;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 1024; }
http {
  access_log off;
  client_body_temp_path $work/nginx/body;
  fastcgi_temp_path $work/nginx/fastcgi;
  proxy_temp_path $work/nginx/proxy;
  uwsgi_temp_path $work/nginx/uwsgi;
  scgi_temp_path $work/nginx/scgi;
  # As the package's snippet has it.
  upstream checked {
    server unix:$work/checked/fastcgi.socket;
    keepalive 16;
    keepalive_timeout 20s;
  }
  upstream unchecked {
    server unix:$work/unchecked/fastcgi.socket;
    keepalive 16;
    keepalive_timeout 20s;
  }
  server {
    listen 127.0.0.1:$nginx_port;
    location ~ ^/(checked|unchecked)/xmlgateway\$ {
      include /etc/nginx/fastcgi_params;
      client_max_body_size 16m;
      fastcgi_read_timeout 300s;
      fastcgi_keep_conn on;
      fastcgi_pass \$1;
    }
  }
}
CONF
nginx -c "$work/nginx.conf" -e "$work/nginx/error.log" >"$work/nginx.out" 2>&1 &
pids+=($!)
checked_url=http://127.0.0.1:$nginx_port/checked/xmlgateway
unchecked_url=http://127.0.0.1:$nginx_port/unchecked/xmlgateway
wait_for "$checked_url"
write_bodies
check_answers "$checked_url"
check_answers "$unchecked_url"

for connections in 8 64; do
  echo "wrk, $connections connections, ${seconds} s each: $bench_sql"
  measure "Gateway, session check, $connections" "$checked_url" "$work/server.body" '' "$connections"
  measure "Gateway, check-session = off, $connections" "$unchecked_url" "$work/server.body" '' "$connections"
  measure_node_peer "Node peer, $connections" "$connections"
  floor "Client library alone, kept, $connections" kept "$connections"
done
for connections in 8 64; do
  for gateway in "session check" "check-session = off"; do
    awk -v gateway="${rps[Gateway, $gateway, $connections]}" -v node="${rps[Node peer, $connections]}" \
      -v gateway99="${p99[Gateway, $gateway, $connections]}" -v node99="${p99[Node peer, $connections]}" \
      -v floor="${rps[Client library alone, kept, $connections]}" -v c="$connections" -v name="$gateway" 'BEGIN {
      printf "%d connections, %s: the gateway answers %.2fx the Node peer'"'"'s req/s, p99 %s ms against %s ms; it reaches %.0f %% of the floor\n", c, name, gateway / node, gateway99, node99, 100 * gateway / floor
    }'
  done
done
