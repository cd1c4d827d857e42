#!/usr/bin/env bash
# Measures the gateway answering SELECT * of a 100 000-row table of mixed column types as a CGI
# process (wall time and peak memory), next to isql-fb fetching the same rows to /dev/null from
# the same database in the same run, and prints both figures and their ratio.
# Usage: bench/opensql_benchmark.sh [PROGRAM] [ROWS]
#   PROGRAM  the built gateway (default: build/xmlgateway)
#   ROWS     rows in the table (default: 100000)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
program=${1:-$root/build/xmlgateway}
rows=${2:-100000}
[ -x "$program" ] || { echo "no gateway at $program: build it first" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (Debian package time)" >&2; exit 2; }

work=$(mktemp -d /tmp/xg-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
database=$work/bench.fdb

echo "building $rows rows in $database"
isql-fb -q -bail <<SQL
SET SQL DIALECT 3;
CREATE DATABASE '$database' DEFAULT CHARACTER SET ISO8859_1;
CREATE TABLE BENCH (
  ID INTEGER NOT NULL PRIMARY KEY,
  NAME VARCHAR(40),
  CODE CHAR(8),
  QTY SMALLINT,
  BIG BIGINT,  -- within 32 bits: its INTEGER text goes through the 32-bit conversion
  PRICE NUMERIC(9,2),
  RATE NUMERIC(18,6),
  RATIO DOUBLE PRECISION,
  CREATED TIMESTAMP,
  DAY_ DATE,
  ACTIVE BOOLEAN
);
SET TERM ^ ;
EXECUTE BLOCK AS
  DECLARE I INTEGER = 1;
BEGIN
  WHILE (I <= $rows) DO
  BEGIN
    INSERT INTO BENCH VALUES (:I, 'Customer ' || :I || ' & Co', 'C' || MOD(:I, 9999999),
      MOD(:I, 30000), MOD(:I * 1000003, 2000000000), MOD(:I, 100000) / 100.0, :I / 7.0, :I / 3.0,
      DATEADD(:I SECOND TO TIMESTAMP '2020-01-01 00:00:00'),
      DATEADD(MOD(:I, 3650) DAY TO DATE '2015-01-01'), MOD(:I, 2) = 0);
    I = I + 1;
  END
END^
SET TERM ; ^
COMMIT;
SQL

# The CGI request: a POSTed form whose SENDDATA is the base64 request document.
sql_b64=$(printf '%s' 'select * from bench' | base64 -w0)
pass_b64=$(printf '%s' 'masterkey' | base64 -w0)
request="<?xml version=\"1.0\"?><SENDDATA><SERVICE>SERVICEOPENSQL</SERVICE><DB>$database</DB><USER>SYSDBA</USER><PASS>$pass_b64</PASS><SQL>$sql_b64</SQL></SENDDATA>"
senddata=$(printf '%s' "$request" | base64 -w0 | sed 's/+/%2B/g; s/\//%2F/g; s/=/%3D/g')
printf 'SENDDATA=%s' "$senddata" >"$work/body"

measure() {  # measure NAME OUTPUT COMMAND...: runs it with /usr/bin/time -v
  local name=$1 output=$2
  shift 2
  /usr/bin/time -v -o "$work/$name.time" "$@" >"$output"
  wall=$(awk -F': ' '/Elapsed \(wall clock\)/ {print $2}' "$work/$name.time")
  rss=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/$name.time")
  # h:mm:ss or m:ss.cc to seconds
  seconds=$(echo "$wall" | awk -F: '{ s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; print s }')
  eval "${name}_seconds=$seconds ${name}_rss=$rss"
}

# Warm the file cache so that neither side pays for the first read.
echo "select count(*) from bench;" | isql-fb -q "$database" >/dev/null

# The gateway opens the database with its embedded engine, as its configuration lists it.
printf '[databases]\nembedded = %s\n' "$database" >"$work/xmlgateway.conf"
measure gateway "$work/gateway.out" env -i REQUEST_METHOD=POST SERVER_PROTOCOL=HTTP/1.1 \
  CONTENT_LENGTH="$(stat -c %s "$work/body")" XMLGATEWAY_CONF="$work/xmlgateway.conf" \
  "$program" <"$work/body"
records=$(grep -c '^<RECORD[0-9]*>' "$work/gateway.out" || true)
[ "$records" -eq "$rows" ] || {
  echo "the gateway answered $records rows instead of $rows:" >&2
  head -c 2000 "$work/gateway.out" >&2
  exit 1
}
gateway_bytes=$(stat -c %s "$work/gateway.out")

printf 'SET HEADING OFF;\nselect * from bench;\n' >"$work/isql.sql"
measure isql /dev/null isql-fb -q -i "$work/isql.sql" "$database"

ratio=$(awk -v a="$gateway_seconds" -v b="$isql_seconds" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')
rss_ratio=$(awk -v a="$gateway_rss" -v b="$isql_rss" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')
echo "rows: $rows (gateway document: $gateway_bytes bytes)"
echo "gateway (CGI, OPENSQL): ${gateway_seconds} s wall, ${gateway_rss} KiB peak RSS"
echo "isql-fb (to /dev/null):  ${isql_seconds} s wall, ${isql_rss} KiB peak RSS"
echo "ratio gateway/isql-fb: time ${ratio}x, peak memory ${rss_ratio}x"
