# What the one-row benchmarks share, sourced by them: the table BIG (10 000 rows) on the
# Firebird server and for the embedded engine, the pooled Node peer (bench/node-peer), the floor
# (bench/client_floor.cpp), the request bodies, and wrk runs that record requests per second and
# the 50 % and 99 % latencies in the arrays rps, p50 and p99.
# The sourcing script sets root and seconds, and calls start_bench_work first; needs
# XG_FB_SERVER_HOST, XG_FB_SERVER_USER and XG_FB_SERVER_PASSWORD.

# The run's folder (work, removed at exit) and the processes it starts (pids, ended at exit).
start_bench_work() {  # NAME
  work=$(mktemp -d "/tmp/xg-bench-$1.XXXXXX")
  pids=()
  trap end_bench_work EXIT
}
end_bench_work() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}

require_bench_tools() {  # TOOL...
  for variable in XG_FB_SERVER_HOST XG_FB_SERVER_USER XG_FB_SERVER_PASSWORD; do
    [ -n "${!variable:-}" ] || { echo "$variable is not set: the benchmark needs the Firebird server" >&2; exit 2; }
  done
  for tool in wrk node npm "$@"; do
    command -v "$tool" >/dev/null || { echo "needs $tool (scripts/install.sh)" >&2; exit 2; }
  done
}

# Sets server_db and embedded_db.
make_big_tables() {
  local isql_bin
  isql_bin=$(command -v isql-fb || command -v isql)
  mkdir -p "$work/db"
  chmod 755 "$work"
  chmod 777 "$work/db"
  server_db=$XG_FB_SERVER_HOST:$work/db/big.fdb
  embedded_db=$work/db/embedded.fdb
  local schema
  schema=$(cat "$root/bench/big_table.sql")
  echo "building the table BIG (10 000 rows) on the server and for the embedded engine"
  printf "CREATE DATABASE '%s' USER '%s' PASSWORD '%s';\n%s\n" "$server_db" "$XG_FB_SERVER_USER" \
    "$XG_FB_SERVER_PASSWORD" "$schema" | "$isql_bin" -q -bail >/dev/null
  printf "CREATE DATABASE '%s';\n%s\n" "$embedded_db" "$schema" | "$isql_bin" -q -bail >/dev/null
}

build_floor() {
  echo "building the floor (bench/client_floor.cpp)"
  "${CXX:-c++}" -std=c++20 -O2 -Wall -Wextra "$root/bench/client_floor.cpp" -o "$work/client_floor" -lfbclient
}

bench_port() { echo $((20000 + RANDOM % 12000)); }
wait_for() { for _ in $(seq 1 100); do curl -s -o /dev/null "$1" && return 0; sleep 0.1; done; return 1; }

# Installs node-firebird and starts the Node peer on the server's database; sets node_port.
start_node_peer() {
  echo "installing node-firebird into $work/node"
  cp "$root/bench/node-peer/package.json" "$root/bench/node-peer/server.js" "$work/"
  mkdir -p "$work/node"
  cp "$work/package.json" "$work/node/"
  (cd "$work/node" && npm install --no-audit --no-fund --silent >/dev/null)
  node_port=$(bench_port)
  (cd "$work/node" && NODE_PATH=$work/node/node_modules exec node "$work/server.js" "$node_port" "$XG_FB_SERVER_HOST" \
    "$work/db/big.fdb" "$XG_FB_SERVER_USER" "$XG_FB_SERVER_PASSWORD" >"$work/node.out" 2>&1) &
  pids+=($!)
  wait_for "http://127.0.0.1:$node_port/"
}

bench_sql='SELECT * FROM BIG WHERE ID = 4711'
b64() { printf '%s' "$1" | base64 -w0; }
# Writes server.body, embedded.body and node.body into the work folder.
write_bodies() {
  local db request
  for db in server embedded; do
    local name_var=${db}_db
    request="<?xml version=\"1.0\"?><SENDDATA><SERVICE>SERVICEOPENSQL</SERVICE><DB>${!name_var}</DB><USER>$XG_FB_SERVER_USER</USER><PASS>$(b64 "$XG_FB_SERVER_PASSWORD")</PASS><SQL>$(b64 "$bench_sql")</SQL></SENDDATA>"
    printf 'SENDDATA=%s\n' "$(b64 "$request" | sed 's/+/%2B/g; s/\//%2F/g; s/=/%3D/g')" >"$work/$db.body"
  done
  printf 'sql=%s\n' "$(printf '%s' "$bench_sql" | sed 's/ /+/g; s/=/%3D/g; s/\*/%2A/g')" >"$work/node.body"
}

# Each answer is checked once before it is measured.
check_answers() {  # GATEWAY-URL
  curl -s --data-binary "@$work/server.body" "$1" | grep -q '<ID DATATYPE="INTEGER" DATASIZE="4">4711</ID>' ||
    { echo "the gateway does not answer the row" >&2; exit 1; }
  curl -s --data-binary "@$work/node.body" "http://127.0.0.1:$node_port/" | grep -q '"ID":4711' ||
    { echo "the Node peer does not answer the row: $(cat "$work/node.out")" >&2; exit 1; }
}

declare -A rps p50 p99
measure() {  # NAME URL BODY [ANSWER-END] [CONNECTIONS]
  local line
  line=$(XG_BODIES=$3 XG_ANSWER_END=${4:-} wrk -t2 -c"${5:-8}" -d"${seconds}s" -s "$root/tests/fastcgi/requests.lua" "$2" | grep '^requests=')
  case $line in *" bad=0 errors=0 "*) ;; *) echo "$1: failed answers: $line" >&2 ;; esac
  rps[$1]=$(sed 's/.* rps=\([0-9.]*\).*/\1/' <<<"$line")
  p50[$1]=$(sed 's/.* p50_ms=\([0-9.]*\).*/\1/' <<<"$line")
  p99[$1]=$(sed 's/.* p99_ms=\([0-9.]*\).*/\1/' <<<"$line")
  printf '%-48s %9s req/s   p50 %8s ms   p99 %8s ms\n' "$1" "${rps[$1]}" "${p50[$1]}" "${p99[$1]}"
}
measure_node_peer() {  # NAME [CONNECTIONS]
  measure "$1" "http://127.0.0.1:$node_port/" "$work/node.body" '%]$' "${2:-8}"
}

floor() {  # NAME kept|attach [WORKERS]
  local line
  line=$(XG_FB_SERVER_USER=$XG_FB_SERVER_USER XG_FB_SERVER_PASSWORD=$XG_FB_SERVER_PASSWORD \
    "$work/client_floor" "$2" "$server_db" "$seconds" "$bench_sql" "${3:-8}")
  rps[$1]=$(sed 's/.* rps=\([0-9.]*\).*/\1/' <<<"$line")
  printf '%-48s %9s req/s\n' "$1" "${rps[$1]}"
}
