#!/usr/bin/env bash
# What kept attachments cost as the server fills: one FastCGI process (started by lighttpd) takes
# sequential requests (wrk, one connection) of the one-row query SELECT * FROM BIG WHERE ID = 4711
# through the Firebird server, while bench/idle_attachments.cpp holds 0, 100 and 300 idle
# attachments of the same user on the same database; as SYSDBA and as a user of its own that the
# run creates (and drops). Each round sweeps both users and every level, and at each level three
# processes take turns, so that a busy moment of the machine falls on all three alike:
#   - kept attachments with the session check (`[pool] check-session = on`, the default),
#   - kept attachments without it (`check-session = off`),
#   - no kept attachments (every request attaches and detaches).
# Prints requests per second of each, then their medians and the ratios: each level against none
# for the same process, the check's cost as a share of a request without it (off / on - 1), and
# kept attachments with the check against none kept.
# Usage: bench/pool_scaling_benchmark.sh [PROGRAM] [SECONDS] [ROUNDS]
#   PROGRAM  the built gateway (default: build/xmlgateway)
#   SECONDS  length of each measurement (default: 5)
#   ROUNDS   sweeps through both users and every level (default: 3)
# XG_POOL_LEVELS changes the numbers of idle attachments (default "0 100 300").
# Needs the Firebird server's connection data in XG_FB_SERVER_HOST, XG_FB_SERVER_USER and
# XG_FB_SERVER_PASSWORD (SYSDBA, which may create users), wrk and lighttpd.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
program=$(realpath "${1:-$root/build/xmlgateway}")
seconds=${2:-5}
rounds=${3:-3}
levels=${XG_POOL_LEVELS:-0 100 300}
[ -x "$program" ] || { echo "no gateway at $program: build it first" >&2; exit 2; }
for variable in XG_FB_SERVER_HOST XG_FB_SERVER_USER XG_FB_SERVER_PASSWORD; do
  [ -n "${!variable:-}" ] || { echo "$variable is not set: the benchmark needs the Firebird server" >&2; exit 2; }
done
for tool in wrk lighttpd; do
  command -v "$tool" >/dev/null || { echo "needs $tool (scripts/install.sh)" >&2; exit 2; }
done
isql_bin=$(command -v isql-fb || command -v isql)

work=$(mktemp -d /tmp/xg-bench-pool.XXXXXX)
chmod 755 "$work"
mkdir -p "$work/db"
chmod 777 "$work/db"
database=$XG_FB_SERVER_HOST:$work/db/big.fdb
other_user=XGBENCH$$
other_password=b$RANDOM$RANDOM
isql_sysdba() { "$isql_bin" -q -bail -user "$XG_FB_SERVER_USER" -password "$XG_FB_SERVER_PASSWORD" "$@"; }
pids=()
holder_pid=
cleanup() {
  stop_holder
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  [ -f "$work/user_made" ] && printf 'DROP USER %s;\nCOMMIT;\n' "$other_user" | isql_sysdba "$database" >/dev/null 2>&1
  rm -rf "$work"
}
# The holder's standard input is a pipe that only this script writes: closing it ends the holder,
# which detaches its attachments.
stop_holder() {
  [ -n "$holder_pid" ] || return 0
  exec 3>&-
  wait "$holder_pid" 2>/dev/null || true
  holder_pid=
}
trap cleanup EXIT

echo "building the table BIG (10 000 rows) on the server, and the user $other_user"
{
  printf "CREATE DATABASE '%s' USER '%s' PASSWORD '%s';\n" "$database" "$XG_FB_SERVER_USER" "$XG_FB_SERVER_PASSWORD"
  cat "$root/bench/big_table.sql"
} | "$isql_bin" -q -bail >/dev/null
printf "CREATE USER %s PASSWORD '%s';\nCOMMIT;\n" "$other_user" "$other_password" | isql_sysdba "$database" >/dev/null
touch "$work/user_made"
printf 'GRANT SELECT ON BIG TO %s;\nCOMMIT;\n' "$other_user" | isql_sysdba "$database" >/dev/null

echo "building the holder of idle attachments (bench/idle_attachments.cpp)"
"${CXX:-c++}" -std=c++20 -O2 -Wall -Wextra "$root/bench/idle_attachments.cpp" -o "$work/idle_attachments" -lfbclient

port() { echo $((20000 + RANDOM % 12000)); }
wait_for() { for _ in $(seq 1 100); do curl -s -o /dev/null "$1" && return 0; sleep 0.1; done; return 1; }
declare -A url
start_lighttpd() {  # NAME GATEWAY_CONF_TEXT
  local state=$work/$1 listen
  listen=$(port)
  mkdir -p "$state"
  printf '%b' "$2" >"$state/xmlgateway.conf"
  local conf
  conf=$(XG_FCGI_PROCS=1 "$root/scripts/write-lighttpd-conf.sh" "$state" "$listen" "$program" C "$state/xmlgateway.conf")
  lighttpd -D -f "$conf" >"$state/lighttpd.out" 2>&1 &
  pids+=($!)
  url[$1]=http://127.0.0.1:$listen/fcgi/xmlgateway
  wait_for "${url[$1]}"
}
kinds=("check on" "check off" "not kept")
start_lighttpd "check on" '[pool]\nattachments = on\n'
start_lighttpd "check off" '[pool]\nattachments = on\ncheck-session = off\n'
start_lighttpd "not kept" '[pool]\nattachments = off\n'

sql='SELECT * FROM BIG WHERE ID = 4711'
b64() { printf '%s' "$1" | base64 -w0; }
write_body() {  # USER PASSWORD FILE
  local request="<?xml version=\"1.0\"?><SENDDATA><SERVICE>SERVICEOPENSQL</SERVICE><DB>$database</DB><USER>$1</USER><PASS>$(b64 "$2")</PASS><SQL>$(b64 "$sql")</SQL></SENDDATA>"
  printf 'SENDDATA=%s\n' "$(b64 "$request" | sed 's/+/%2B/g; s/\//%2F/g; s/=/%3D/g')" >"$3"
}
write_body "$XG_FB_SERVER_USER" "$XG_FB_SERVER_PASSWORD" "$work/sysdba.body"
write_body "$other_user" "$other_password" "$work/other.body"

# One measurement: requests per second, or an error when an answer was not the row.
measure() {  # KIND BODY
  curl -s --data-binary "@$2" "${url[$1]}" | grep -q '<ID DATATYPE="INTEGER" DATASIZE="4">4711</ID>' ||
    { echo "$1: the gateway does not answer the row" >&2; exit 1; }
  local line
  line=$(XG_BODIES=$2 wrk -t1 -c1 -d"${seconds}s" -s "$root/tests/fastcgi/requests.lua" "${url[$1]}" | grep '^requests=')
  case $line in *" bad=0 errors=0 "*) ;; *) echo "$1: failed answers: $line" >&2; exit 1 ;; esac
  sed 's/.* rps=\([0-9.]*\).*/\1/' <<<"$line"
}


# Each round goes through both users and every level, so that a busy moment of the machine falls on
# one round rather than on one level; the figures are the medians of the rounds, and each ratio is
# the median of the ratios within the rounds.
echo "wrk, 1 connection, ${seconds} s a measurement, $rounds rounds: $sql"
samples=$work/samples
: >"$samples"
for round in $(seq 1 "$rounds"); do
  for who in sysdba other; do
    if [ "$who" = sysdba ]; then idle_user=$XG_FB_SERVER_USER idle_password=$XG_FB_SERVER_PASSWORD; else idle_user=$other_user idle_password=$other_password; fi
    for level in $levels; do
      rm -f "$work/holder.out"  # so that the last holder's line is not read as this one's
      exec 3> >(XG_IDLE_USER=$idle_user XG_IDLE_PASSWORD=$idle_password "$work/idle_attachments" "$database" "$level" >"$work/holder.out")
      holder_pid=$!
      for _ in $(seq 1 600); do grep -q '^ready' "$work/holder.out" 2>/dev/null && break; sleep 0.1; done
      grep -q "^ready $level" "$work/holder.out" || { echo "the holder did not attach $level times" >&2; exit 1; }
      # A second of each first, so that no measurement includes a first attach.
      for kind in "${kinds[@]}"; do
        XG_BODIES=$work/$who.body wrk -t1 -c1 -d1s -s "$root/tests/fastcgi/requests.lua" "${url[$kind]}" >/dev/null
      done
      for kind in "${kinds[@]}"; do
        rate=$(measure "$kind" "$work/$who.body")
        printf '%s|%s|%s|%s|%s\n' "$who" "$level" "$kind" "$round" "$rate" >>"$samples"
        printf 'round %s: %-6s %3s idle, %-9s %9s req/s\n' "$round" "$who" "$level" "$kind" "$rate"
      done
      stop_holder
    done
  done
done

echo
awk -F'|' -v levels="$levels" '
function median(list,    values, n, i, j, t) {
  n = split(substr(list, 2), values, " ")
  for (i = 2; i <= n; i++)
    for (j = i; j > 1 && values[j - 1] + 0 > values[j] + 0; j--) { t = values[j]; values[j] = values[j - 1]; values[j - 1] = t }
  return n % 2 ? values[(n + 1) / 2] : (values[n / 2] + values[n / 2 + 1]) / 2
}
{ rate[$1, $2, $3, $4] = $5; rates[$1, $2, $3] = rates[$1, $2, $3] " " $5; rounds[$4] = 1 }
END {
  split(levels, level, " ")
  split("check on|check off|not kept", kind, "|")
  split("sysdba other", who, " ")
  print "medians of the rounds, requests per second, and ratios (medians of the ratios within the rounds):"
  print "  against no idle attachment: the same process with none; check cost: off / on - 1, the check as a share of a request without it"
  for (w = 1; w <= 2; w++)
    for (l = 1; l in level; l++) {
      line = sprintf("%-6s %3s idle:", who[w], level[l])
      for (k = 1; k <= 3; k++) {
        against = ""
        for (r in rounds) against = against " " rate[who[w], level[l], kind[k], r] / rate[who[w], level[1], kind[k], r]
        line = line sprintf("  %s %7.1f (%.2fx)", kind[k], median(rates[who[w], level[l], kind[k]]), median(against))
      }
      cost = ""; kept = ""
      for (r in rounds) {
        cost = cost " " rate[who[w], level[l], "check off", r] / rate[who[w], level[l], "check on", r] - 1
        kept = kept " " rate[who[w], level[l], "check on", r] / rate[who[w], level[l], "not kept", r]
      }
      printf "%s;  check cost %.2f;  check on / not kept %.2fx\n", line, median(cost), median(kept)
    }
}' "$samples"
