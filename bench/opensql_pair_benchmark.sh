#!/usr/bin/env bash
# Two builds of the gateway answering the same OPENSQL requests as CGI processes, against one
# database on the Firebird server, in one run: the builds take turns request by request (so a
# busy moment of the machine falls on both alike), and each request's wall time is measured from
# the process's start to its end. Two requests: one row of one table, and one row of a join of
# three tables (each relation that a query reads costs what the gateway does per relation).
# Prints, for each request, the median and quartiles of each build, their ratio and the
# milliseconds per request that the second build saves (as the difference of the medians and as
# the median of the differences within each round).
# Usage: bench/opensql_pair_benchmark.sh OLD NEW [ROUNDS]
#   OLD, NEW  two built gateways (for example main's build and a branch's)
#   ROUNDS    requests per build and request kind (default 200)
# Needs the Firebird server's connection data in XG_FB_SERVER_HOST, XG_FB_SERVER_USER and
# XG_FB_SERVER_PASSWORD, and isql-fb to build the database.
set -euo pipefail
[ $# -ge 2 ] || { sed -n '2,13p' "$0" >&2; exit 2; }
old=$(realpath "$1")
new=$(realpath "$2")
rounds=${3:-200}
for program in "$old" "$new"; do
  [ -x "$program" ] || { echo "no gateway at $program" >&2; exit 2; }
done
for variable in XG_FB_SERVER_HOST XG_FB_SERVER_USER XG_FB_SERVER_PASSWORD; do
  [ -n "${!variable:-}" ] || { echo "$variable is not set: the benchmark needs the Firebird server" >&2; exit 2; }
done
isql_bin=$(command -v isql-fb || command -v isql)

work=$(mktemp -d /tmp/xg-bench-pair.XXXXXX)
chmod 755 "$work"
mkdir -p "$work/db" "$work/tmp"
chmod 777 "$work/db"
trap 'rm -rf "$work"' EXIT

database=$XG_FB_SERVER_HOST:$work/db/pair.fdb
printf "CREATE DATABASE '%s' USER '%s' PASSWORD '%s';\n%s\n" "$database" "$XG_FB_SERVER_USER" \
  "$XG_FB_SERVER_PASSWORD" "
CREATE TABLE CUSTOMER (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(40) DEFAULT 'none',
  CITY CHAR(20), CREATED TIMESTAMP DEFAULT CURRENT_TIMESTAMP);
CREATE TABLE ORDERS (ID INTEGER NOT NULL PRIMARY KEY, CUSTOMER_ID INTEGER NOT NULL,
  TOTAL NUMERIC(9,2) DEFAULT 0, PLACED DATE);
CREATE TABLE ITEM (ID INTEGER NOT NULL PRIMARY KEY, ORDER_ID INTEGER NOT NULL,
  PRODUCT VARCHAR(60), QTY SMALLINT DEFAULT 1, DOUBLE_QTY COMPUTED BY (QTY * 2));
COMMIT;
INSERT INTO CUSTOMER (ID, NAME, CITY) VALUES (1, 'Ana', 'Recife');
INSERT INTO ORDERS VALUES (10, 1, 99.5, DATE '2026-01-02');
INSERT INTO ITEM (ID, ORDER_ID, PRODUCT, QTY) VALUES (100, 10, 'Caneta', 3);
COMMIT;" | "$isql_bin" -q -bail >/dev/null
printf '' >"$work/xmlgateway.conf"

b64() { printf '%s' "$1" | base64 -w0; }
write_body() {  # SQL FILE
  local request="<?xml version=\"1.0\"?><SENDDATA><SERVICE>SERVICEOPENSQL</SERVICE><DB>$database</DB><USER>$XG_FB_SERVER_USER</USER><PASS>$(b64 "$XG_FB_SERVER_PASSWORD")</PASS><SQL>$(b64 "$1")</SQL></SENDDATA>"
  printf 'SENDDATA=%s' "$(b64 "$request" | sed 's/+/%2B/g; s/\//%2F/g; s/=/%3D/g')" >"$2"
}
write_body 'SELECT * FROM CUSTOMER WHERE ID = 1' "$work/one.body"
write_body 'SELECT C.NAME, C.CITY, O.TOTAL, O.PLACED, I.PRODUCT, I.QTY, I.DOUBLE_QTY FROM CUSTOMER C JOIN ORDERS O ON O.CUSTOMER_ID = C.ID JOIN ITEM I ON I.ORDER_ID = O.ID WHERE C.ID = 1' "$work/three.body"

run() {  # PROGRAM BODY: the CGI process as a web server starts it, its answer to stdout
  env -i PATH=/usr/bin:/bin TMPDIR="$work/tmp" REQUEST_METHOD=POST SERVER_PROTOCOL=HTTP/1.1 \
    CONTENT_LENGTH="$(stat -c %s "$2")" XMLGATEWAY_CONF="$work/xmlgateway.conf" "$1" <"$2"
}
# Both builds must give the same answer, and it must hold the row.
for body in one three; do
  run "$old" "$work/$body.body" >"$work/old.$body.out"
  run "$new" "$work/$body.body" >"$work/new.$body.out"
  grep -q 'Ana' "$work/old.$body.out" || { echo "no row in the answer to $body:" >&2; cat "$work/old.$body.out" >&2; exit 1; }
  cmp -s "$work/old.$body.out" "$work/new.$body.out" || { echo "the builds answer $body differently" >&2; exit 1; }
done

# One request timed: its wall milliseconds appended to FILE.
timed() {  # PROGRAM BODY FILE
  local start=$EPOCHREALTIME
  run "$1" "$2" >/dev/null
  local end=$EPOCHREALTIME
  awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f\n", (e - s) * 1000 }' >>"$3"
}
quartile() {  # FILE Q (0.25, 0.5, 0.75)
  sort -g "$1" | awk -v q="$2" '{ v[NR] = $1 } END { i = int(q * (NR - 1)) + 1; print v[i] }'
}

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
for body in one three; do
  : >"$work/old.$body.ms"
  : >"$work/new.$body.ms"
done
for ((i = 0; i < rounds; i++)); do
  for body in one three; do
    # Alternate which build goes first, so neither always follows the other.
    if ((i % 2 == 0)); then
      timed "$old" "$work/$body.body" "$work/old.$body.ms"
      timed "$new" "$work/$body.body" "$work/new.$body.ms"
    else
      timed "$new" "$work/$body.body" "$work/new.$body.ms"
      timed "$old" "$work/$body.body" "$work/old.$body.ms"
    fi
  done
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"

printf '%-22s %-5s %9s %9s %9s\n' request build "p25 ms" "median" "p75 ms"
for body in one three; do
  case $body in one) label="one table" ;; three) label="join of three tables" ;; esac
  for build in old new; do
    printf '%-22s %-5s %9s %9s %9s\n' "$label" "$build" "$(quartile "$work/$build.$body.ms" 0.25)" \
      "$(quartile "$work/$build.$body.ms" 0.5)" "$(quartile "$work/$build.$body.ms" 0.75)"
  done
  old_median=$(quartile "$work/old.$body.ms" 0.5)
  new_median=$(quartile "$work/new.$body.ms" 0.5)
  # The runs of one round are next to each other: the median of their differences is the
  # saving least touched by the machine's load moving during the run.
  paste "$work/old.$body.ms" "$work/new.$body.ms" | awk '{ print $1 - $2 }' >"$work/$body.diff"
  awk -v l="$label" -v o="$old_median" -v n="$new_median" -v r="$rounds" \
    -v d="$(quartile "$work/$body.diff" 0.5)" 'BEGIN {
    printf "%s: new/old %.3f, %.2f ms saved per request (medians of %d requests each; median of the paired differences %.2f ms)\n",
      l, n / o, o - n, r, d }'
done
