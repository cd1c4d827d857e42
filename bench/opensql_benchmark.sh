#!/usr/bin/env bash
# Measures the gateway answering SELECT * of a table of 9 mixed column types as a CGI process,
# next to isql-fb fetching the same rows from the same database on the embedded engine, in one
# run: for each table size, the medians over several runs of wall time, CPU time (user + system)
# and peak resident memory of each whole process, and the gateway's ratios to isql-fb.
# Usage: bench/opensql_benchmark.sh [PROGRAM] [ROWS...]
#   PROGRAM  the built gateway (default: build-release/xmlgateway, else build/xmlgateway); build
#            it for speed with: cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release
#            -DXG_BUILD_TESTS=OFF && cmake --build build-release --target xmlgateway
#   ROWS     table sizes (default: 100000 1000000)
# XG_BENCH_RUNS sets the runs per size (default 5).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
program=${1:-}
if [ -z "$program" ]; then
  program=$root/build-release/xmlgateway
  [ -x "$program" ] || program=$root/build/xmlgateway
fi
shift || true
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(100000 1000000)
runs=${XG_BENCH_RUNS:-5}
[ -x "$program" ] || { echo "no gateway at $program: build it first" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (Debian package time)" >&2; exit 2; }

work=$(mktemp -d /tmp/xg-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir "$work/tmp"

build_table() {  # build_table DATABASE ROWS
  isql-fb -q -bail <<SQL
SET SQL DIALECT 3;
CREATE DATABASE '$1' DEFAULT CHARACTER SET ISO8859_1;
CREATE TABLE BENCH (
  ID INTEGER NOT NULL PRIMARY KEY,
  NAME VARCHAR(40),
  CODE CHAR(8),
  QTY SMALLINT,
  PRICE NUMERIC(9,2),
  RATE NUMERIC(18,6),
  RATIO DOUBLE PRECISION,
  CREATED TIMESTAMP,
  ACTIVE BOOLEAN
);
SET TERM ^ ;
EXECUTE BLOCK AS
  DECLARE I INTEGER = 1;
BEGIN
  WHILE (I <= $2) DO
  BEGIN
    INSERT INTO BENCH VALUES (:I, 'Customer ' || :I || ' & Co', 'C' || MOD(:I, 9999999),
      MOD(:I, 30000), MOD(:I, 100000) / 100.0, :I / 7.0, :I / 3.0,
      DATEADD(:I SECOND TO TIMESTAMP '2020-01-01 00:00:00'), MOD(:I, 2) = 0);
    I = I + 1;
  END
END^
SET TERM ; ^
COMMIT;
SQL
}

# The CGI request body: a POSTed form whose SENDDATA is the base64 request document.
write_body() {  # write_body DATABASE FILE
  local sql_b64 pass_b64 request senddata
  sql_b64=$(printf '%s' 'select * from bench' | base64 -w0)
  pass_b64=$(printf '%s' 'masterkey' | base64 -w0)
  request="<?xml version=\"1.0\"?><SENDDATA><SERVICE>SERVICEOPENSQL</SERVICE><DB>$1</DB><USER>SYSDBA</USER><PASS>$pass_b64</PASS><SQL>$sql_b64</SQL></SENDDATA>"
  senddata=$(printf '%s' "$request" | base64 -w0 | sed 's/+/%2B/g; s/\//%2F/g; s/=/%3D/g')
  printf 'SENDDATA=%s' "$senddata" >"$2"
}

# The command lines of both sides; the input and output are the caller's.
gateway_command() {  # gateway_command: the CGI process as a web server starts it
  gateway=(env -i PATH=/usr/bin:/bin TMPDIR="$work/tmp" REQUEST_METHOD=POST
    SERVER_PROTOCOL=HTTP/1.1 CONTENT_LENGTH="$(stat -c %s "$work/body")"
    XMLGATEWAY_CONF="$work/xmlgateway.conf" "$program")
}
isql_command() {  # isql_command DATABASE
  isql=(isql-fb -q -i "$work/isql.sql" "$1")
}

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# measure NAME INPUT: RUNS runs of the command line in the array NAME, its input from INPUT and
# its output to /dev/null; sets NAME_wall, NAME_cpu, NAME_rss (seconds, seconds, KiB) to the
# medians.
measure() {
  local name=$1 input=$2 i
  local -n command=$name
  : >"$work/$name.times"
  for ((i = 0; i < runs; i++)); do
    /usr/bin/time -f '%e %U %S %M' -a -o "$work/$name.times" "${command[@]}" \
      <"$input" >/dev/null
  done
  eval "${name}_wall=$(awk '{ print $1 }' "$work/$name.times" | median)"
  eval "${name}_cpu=$(awk '{ print $2 + $3 }' "$work/$name.times" | median)"
  eval "${name}_rss=$(awk '{ print $4 }' "$work/$name.times" | median)"
}

printf 'SET HEADING OFF;\nselect * from bench;\n' >"$work/isql.sql"
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
printf '%-9s %-8s %9s %9s %10s\n' rows program "wall s" "cpu s" "peak MiB"
for rows in "${sizes[@]}"; do
  database=$work/bench-$rows.fdb
  build_table "$database" "$rows"
  write_body "$database" "$work/body"
  # The gateway opens the database with its embedded engine, as its configuration lists it; the
  # million rows make a document larger than the default max-answer-bytes.
  printf '[databases]\nembedded = %s\n[limits]\nmax-answer-bytes = 8G\n' "$database" \
    >"$work/xmlgateway.conf"

  gateway_command
  isql_command "$database"
  # One answer checked whole (and the file cache warmed for both sides).
  "${gateway[@]}" <"$work/body" >"$work/gateway.out"
  records=$(grep -c '^<RECORD[0-9]*>' "$work/gateway.out" || true)
  [ "$records" -eq "$rows" ] || {
    echo "the gateway answered $records rows instead of $rows:" >&2
    head -c 2000 "$work/gateway.out" >&2
    exit 1
  }
  bytes=$(stat -c %s "$work/gateway.out")
  rm -f "$work/gateway.out"
  "${isql[@]}" </dev/null >/dev/null

  measure gateway "$work/body"
  measure isql /dev/null
  [ -z "$(ls -A "$work/tmp")" ] || { echo "temporary files left in $work/tmp" >&2; exit 1; }
  awk -v r="$rows" -v w="$gateway_wall" -v c="$gateway_cpu" -v m="$gateway_rss" \
    'BEGIN { printf "%-9s %-8s %9.3f %9.3f %10.1f\n", r, "gateway", w, c, m / 1024 }'
  awk -v r="$rows" -v w="$isql_wall" -v c="$isql_cpu" -v m="$isql_rss" \
    'BEGIN { printf "%-9s %-8s %9.3f %9.3f %10.1f\n", r, "isql-fb", w, c, m / 1024 }'
  echo "$rows rows (document: $bytes bytes, medians of $runs runs): gateway/isql-fb wall" \
    "$(ratio "$gateway_wall" "$isql_wall")x, cpu $(ratio "$gateway_cpu" "$isql_cpu")x," \
    "peak memory $(ratio "$gateway_rss" "$isql_rss")x"
  rm -f "$database"
done
