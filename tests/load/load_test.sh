#!/usr/bin/env bash
# Load through a real web server: lighttpd serves the gateway, 8 clients post a few thousand
# mixed requests at once (status probes, queries on the Firebird server and on the embedded
# engine, inserts with unique keys, and bad input of several kinds), and every answer is checked
# whole: status 200, the length it announces, and the document its request must give, byte for
# byte apart from the clock's values. Afterwards every inserted row must be in the table, the
# server must hold no attachment of the gateway, no gateway process may have ended other than with
# exit code 0 or 143 (the web server sends SIGTERM to a CGI program that is still ending once it
# has the whole answer), and nothing may have reached the web server's log from a gateway's
# standard error (crash texts) nor Firebird's log from a crash. The request log must hold exactly
# one line per request, each read back strictly, telling the request's service and outcome (the
# clients post from 127.0.0.2, so that their lines are told from the test's own requests). Prints
# the figures: requests, requests per second, failures, exit codes.
# XG_ENDPOINT (see support/gateway_server.sh) runs the same load through a FastCGI endpoint:
# lighttpd's own FastCGI processes (as many as there are clients) or nginx in front of a gateway
# started with --fastcgi (a supervisor and its workers). Every process must then end with exit
# code 0 once the web server stops, and a FastCGI process sends no wrong password: the server
# delays each failed login by seconds, which a process serving request after request would spend
# waiting.
# Usage: load_test.sh PROGRAM EXIT_RECORDER
# Needs the server's connection data in XG_FB_SERVER_HOST, XG_FB_SERVER_USER and
# XG_FB_SERVER_PASSWORD (scripts/test.sh sets them). XG_LOAD_REQUESTS (default 3000) and
# XG_LOAD_CLIENTS (default 8) change the size of the run.
set -uo pipefail
export LC_ALL=C  # lengths and comparisons in bytes

# ---- one client: posts the requests whose numbers it is given and checks each answer ----------
if [ "${1:-}" = --client ]; then
  shift
  results=$XG_LOAD_STATE/results/$$
  # The clock's values are the only bytes that differ between two answers to the same request.
  normalize() {
    local text=$1 tag
    for tag in TIMESTAMP DATE TIME DATETIME; do
      text=${text//<$tag DATATYPE=\"*\">*<\/$tag>/<$tag>clock</$tag>}
    done
    REPLY=$text
  }
  for n in "$@"; do
    kind=$((n % 20))
    case $kind in
      0 | 1 | 2) name=status ;;
      3 | 4 | 5 | 6) name=query ;;
      7) name=embedded ;;
      8 | 9 | 10 | 11 | 12 | 13) name=insert ;;
      14) name=badbase64 ;;
      15) name=wrongroot ;;
      16) name=badservice ;;
      17) name=wrongpassword ;;&
      17) [ "$XG_ENDPOINT" != cgi ] && name=badsql ;;
      18) name=badsql ;;
      19) name=duplicate ;;
    esac
    request=$XG_LOAD_STATE/requests/$name
    [ "$name" = insert ] && request=$XG_LOAD_STATE/requests/insert.$n
    head=$XG_LOAD_STATE/answers/$n.head
    body=$XG_LOAD_STATE/answers/$n.body
    if ! curl -s -m 120 -A load/1.0 --interface "$XG_LOAD_CLIENT_ADDRESS" -D "$head" -o "$body" --data-binary "@$request" "$XG_LOAD_URL"; then
      echo "FAIL $n $name: curl failed" >>"$results"
      continue
    fi
    IFS= read -r -d '' headText <"$head"
    IFS= read -r -d '' bodyText <"$body"
    if [[ $headText != "HTTP/1.1 200 OK"$'\r\n'* ]]; then
      echo "FAIL $n $name: status ${headText%%$'\r'*}" >>"$results"
      continue
    fi
    if [[ $headText != *$'\r\n'"Content-Length: ${#bodyText}"$'\r\n'* ]]; then
      echo "FAIL $n $name: ${#bodyText} bytes, not the length announced" >>"$results"
      continue
    fi
    if [ "$name" = insert ]; then
      expected=$XG_LOAD_DONE
    else
      IFS= read -r -d '' expected <"$XG_LOAD_STATE/expected/$name"
    fi
    # Only the status and ERROR documents carry the clock.
    case $name in
      query | embedded | badsql | duplicate | insert) REPLY=$bodyText ;;
      *) normalize "$bodyText" ;;
    esac
    if [ "$REPLY" != "$expected" ]; then
      echo "FAIL $n $name: unexpected document (kept in $body)" >>"$results"
      continue
    fi
    echo "ok $n $name" >>"$results"
  done
  exit 0
fi

# ---- the run ----------------------------------------------------------------------------------
program=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
recorder=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
requests=${XG_LOAD_REQUESTS:-3000}
clients=${XG_LOAD_CLIENTS:-8}
for variable in XG_FB_SERVER_HOST XG_FB_SERVER_USER XG_FB_SERVER_PASSWORD; do
  if [ -z "${!variable:-}" ]; then
    echo "FAIL: $variable is not set; the load test needs the Firebird server" \
      "(eval \"\$(scripts/firebird-server.sh start)\")"
    exit 1
  fi
done
isql_bin=$(command -v isql-fb || command -v isql)

state=$(mktemp -d /tmp/xg-load.XXXXXX)
chmod 755 "$state"
mkdir -p "$state/requests" "$state/expected" "$state/answers" "$state/results" "$state/db"
# The server's own user creates and owns the database file it serves.
chmod 777 "$state/db"
# Below 32768, where the kernel takes the local ports of outgoing connections: no client
# connection of another test can hold it.
port=$((20000 + RANDOM % 12000))
# The embedded database is listed as such; every other name goes to the server. Every gateway
# process appends to one request log.
request_log=$state/requests.log
install -m 666 /dev/null "$request_log"
printf '[databases]\nembedded = %s\n[log]\nrequests = %s\n' "$state/db/embedded.fdb" "$request_log" \
  >"$state/xmlgateway.conf"
export XG_ENDPOINT=${XG_ENDPOINT:-cgi}
# The gateway runs under the exit recorder, which logs every process's exit code; the gateway's
# command line still starts with the CGI path, as the web server would start it.
cgi=$state/www/www/cgi-bin/xmlgateway
exits=$state/exits.log
printf '#!/bin/sh\nexec "%s" "%s" "%s" "%s" "$@"\n' "$recorder" "$exits" "$program" "$cgi" >"$state/gateway.sh"
chmod 755 "$state/gateway.sh"
# Firebird's own log, where a crashing client library leaves "pthread_mutex_unlock failed".
firebird_log=/var/log/firebird/firebird3.0.log
firebird_log_size=$(stat -c %s "$firebird_log" 2>/dev/null || echo "")
# In a sanitizer build the leak check at exit stops every thread of the process with a tracer;
# started by lighttpd, with the Firebird client's thread still winding down, that tracer crashes
# in about a third of the processes and some of them then hang. Leaks are checked by the
# database tests; here the processes end without that check. A build without sanitizers
# ignores the setting.
export XG_GATEWAY_ENV=ASAN_OPTIONS=detect_leaks=0 XG_FCGI_PROCS=0
# As many FastCGI processes as clients; none beside the CGI program, whose processes are counted.
[ "$XG_ENDPOINT" = fcgi ] && XG_FCGI_PROCS=$clients
# shellcheck source=../support/gateway_server.sh
source "$here/../support/gateway_server.sh"
cleanup() {
  stop_gateway_server
  if [ "${failures:-1}" -eq 0 ]; then rm -rf "$state"; else echo "answers kept in $state"; fi
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*"
  failures=$((${failures:-0} + 1))
}
# Base64 of a text into REPLY, in the shell itself: a thousand request bodies are made without a
# process each.
b64() {
  local text=$1 out="" alphabet=ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/
  local i c0 c1 c2 v length=${#1}
  for ((i = 0; i < length; i += 3)); do
    printf -v c0 '%d' "'${text:i:1}"
    c1=0 c2=0
    ((i + 1 < length)) && printf -v c1 '%d' "'${text:i+1:1}"
    ((i + 2 < length)) && printf -v c2 '%d' "'${text:i+2:1}"
    v=$(((c0 << 16) | (c1 << 8) | c2))
    out+=${alphabet:v>>18&63:1}${alphabet:v>>12&63:1}
    if ((i + 1 < length)); then out+=${alphabet:v>>6&63:1}; else out+="="; fi
    if ((i + 2 < length)); then out+=${alphabet:v&63:1}; else out+="="; fi
  done
  REPLY=$out
}
# The form body of a request document: SENDDATA, its base64 percent-encoded.
form() {
  b64 "$1"
  local encoded=${REPLY//+/%2B}
  encoded=${encoded//\//%2F}
  printf 'SENDDATA=%s' "${encoded//=/%3D}"
}
sql_request() {  # SERVICE DB PASSWORD SQL
  local password sql
  b64 "$3"
  password=$REPLY
  b64 "$4"
  sql=$REPLY
  form "<?xml version=\"1.0\"?><SENDDATA><SERVICE>$1</SERVICE><DB>$2</DB><USER>$XG_FB_SERVER_USER</USER><PASS>$password</PASS><SQL>$sql</SQL></SENDDATA>"
}
isql_server() {  # SQL: run on the load database through the server
  printf '%s\n' "$1" | "$isql_bin" -q -user "$XG_FB_SERVER_USER" -password "$XG_FB_SERVER_PASSWORD" "$database" 2>&1
}

# Databases: one on the server, one the gateway opens with its embedded engine.
database="$XG_FB_SERVER_HOST:$state/db/load.fdb"
embedded="$state/db/embedded.fdb"
schema="CREATE TABLE ITEMS (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(30), PRICE NUMERIC(9,2), ADDED DATE);
CREATE TABLE LOAD_ROWS (ID INTEGER NOT NULL PRIMARY KEY, NOTE VARCHAR(40));
COMMIT;"
for i in $(seq 1 20); do
  schema+=$'\n'"INSERT INTO ITEMS VALUES ($i, 'item $i', $i * 1.25, DATE '2024-01-01' + $i);"
done
schema+=$'\nCOMMIT;'
create_output=$(printf "CREATE DATABASE '%s' USER '%s' PASSWORD '%s' DEFAULT CHARACTER SET ISO8859_1;\n%s\n" \
  "$database" "$XG_FB_SERVER_USER" "$XG_FB_SERVER_PASSWORD" "$schema" | "$isql_bin" -q 2>&1) ||
  { echo "FAIL: cannot create $database: $create_output"; exit 1; }
create_output=$(printf "CREATE DATABASE '%s' DEFAULT CHARACTER SET ISO8859_1;\n%s\n" "$embedded" "$schema" |
  "$isql_bin" -q 2>&1) || { echo "FAIL: cannot create $embedded: $create_output"; exit 1; }

# The requests of each kind; inserts have one each, with its own key.
form '<?xml version="1.0"?><SENDDATA><SERVICE>SERVICESTATUS</SERVICE></SENDDATA>' >"$state/requests/status"
items='select id, name, price, added from items order by id'
sql_request SERVICEOPENSQL "$database" "$XG_FB_SERVER_PASSWORD" "$items" >"$state/requests/query"
sql_request SERVICEOPENSQL "$embedded" "" "$items" >"$state/requests/embedded"
printf 'SENDDATA=QUJDR' >"$state/requests/badbase64"
form '<?xml version="1.0"?><OTHER><SERVICE>SERVICESTATUS</SERVICE></OTHER>' >"$state/requests/wrongroot"
form '<?xml version="1.0"?><SENDDATA><SERVICE>SERVICEOPEN</SERVICE></SENDDATA>' >"$state/requests/badservice"
sql_request SERVICEOPENSQL "$database" "not-the-password" "$items" >"$state/requests/wrongpassword"
sql_request SERVICEOPENSQL "$database" "$XG_FB_SERVER_PASSWORD" "select * from no_such_table" >"$state/requests/badsql"
sql_request SERVICEEXECSQL "$database" "$XG_FB_SERVER_PASSWORD" "insert into items (id) values (1)" >"$state/requests/duplicate"
inserted=0
key_sum=0
for ((n = 0; n < requests; n++)); do
  case $((n % 20)) in
    8 | 9 | 10 | 11 | 12 | 13)
      sql_request SERVICEEXECSQL "$database" "$XG_FB_SERVER_PASSWORD" \
        "insert into load_rows (id, note) values ($n, 'request $n')" >"$state/requests/insert.$n"
      inserted=$((inserted + 1))
      key_sum=$((key_sum + n))
      ;;
  esac
done

# Its output goes to a file: a gateway process that outlives its request must not hold the
# caller's pipes open.
mkdir -p "$state/www"
start_gateway_server "$state/www" "$port" "$state/gateway.sh" "$state/xmlgateway.conf"
url=$gateway_url

# The expected document of each kind: one answer taken before the load, checked for what its
# kind must show, with the clock's values blanked. Every answer under load must equal it.
export XG_LOAD_STATE=$state XG_LOAD_URL=$url XG_LOAD_CLIENT_ADDRESS=127.0.0.2
export XG_LOAD_DONE=$'<?xml version="1.0" encoding="ISO-8859-1"?>\r\n<EXECSQL>\r\n <MSGDATA DATATYPE="STRING">Opera\xe7\xe3o efetuada com sucesso</MSGDATA>\r\n</EXECSQL>\r\n'
declaration=$'<?xml version="1.0" encoding="ISO-8859-1"?>\r\n'
expect_kind() {  # NAME PATTERN: the reference answer must match the bash pattern
  local text
  curl -s -m 60 -A load/1.0 -o "$state/expected/$1.raw" --data-binary "@$state/requests/$1" "$url"
  IFS= read -r -d '' text <"$state/expected/$1.raw"
  # shellcheck disable=SC2053
  [[ $text == $2 ]] || fail "reference answer of $1 is wrong: ${text:0:300}"
  for tag in TIMESTAMP DATE TIME DATETIME; do
    text=${text//<$tag DATATYPE=\"*\">*<\/$tag>/<$tag>clock</$tag>}
  done
  printf '%s' "$text" >"$state/expected/$1"
}
record=$'\r\n <ID DATATYPE="INTEGER" DATASIZE="4">*</ID>\r\n <NAME DATATYPE="STRING" DATASIZE="30">item *</NAME>\r\n <PRICE DATATYPE="STRING" DATASIZE="8">*</PRICE>\r\n <ADDED DATATYPE="DATE" DATASIZE="4">*</ADDED>\r\n'
rows="<RECORD1>$record</RECORD1>"$'\r\n'"*<RECORD20>$record</RECORD20>"$'\r\n'
error_of() { printf '%s' "$declaration<ERROR>"$'\r\n <TIMESTAMP DATATYPE="DATETIME">*</TIMESTAMP>\r\n <MSGDATA DATATYPE="STRING">'"$1"; }
expect_kind status "$declaration<STATUS>"$'\r\n'*$' <AGENT DATATYPE="STRING">load/1.0</AGENT>\r\n <MSGDATA DATATYPE="STRING">Servi\xe7o em Opera\xe7\xe3o</MSGDATA>\r\n'*'</STATUS>'$'\r\n'
expect_kind query "$declaration<OPENSQL RECORDCOUNT=\"20\">"$'\r\n'"$rows</OPENSQL>"$'\r\n'
expect_kind embedded "$declaration<OPENSQL RECORDCOUNT=\"20\">"$'\r\n'"$rows</OPENSQL>"$'\r\n'
expect_kind badbase64 "$(error_of 'Uneven size in DecodeToStream.')"$'\r\r</MSGDATA>\r\n</ERROR>\r\n'
expect_kind wrongroot "$(error_of $'Elemento SENDDATA n\xe3o encontrado')"$'</MSGDATA>\r\n</ERROR>\r\n'
expect_kind badservice "$(error_of 'XML de entrada mal formatada')"$'</MSGDATA>\r\n</ERROR>\r\n'
expect_kind wrongpassword "$(error_of 'Your user name and password are not defined')"*$'\r\r&lt;?xml'*$'</MSGDATA>\r\n</ERROR>\r\n'
expect_kind badsql "$declaration<OPENSQL>"$'\r\n <MSGDATA DATATYPE="STRING">'*'NO_SUCH_TABLE'*$'</MSGDATA>\r\n</OPENSQL>\r\n'
expect_kind duplicate "$declaration<EXECSQL>"$'\r\n <MSGDATA DATATYPE="STRING">Opera\xe7\xe3o n\xe3o efetuada: violation of PRIMARY or UNIQUE KEY'*$'</MSGDATA>\r\n</EXECSQL>\r\n'
if [ "${failures:-0}" -ne 0 ]; then
  echo "the reference answers are wrong; no load was run"
  exit 1
fi

# ---- the load -----------------------------------------------------------------------------------
echo "load: $requests requests from $clients clients through $XG_ENDPOINT at $url"
start=$(date +%s%N)
seq 0 $((requests - 1)) | xargs -P "$clients" -n 25 bash "$0" --client
end=$(date +%s%N)
elapsed_ms=$(((end - start) / 1000000))

answered=$(cat "$state"/results/* 2>/dev/null | wc -l)
bad=$(cat "$state"/results/* 2>/dev/null | grep -c '^FAIL')
cat "$state"/results/* 2>/dev/null | grep '^FAIL' | head -20
[ "$answered" -eq "$requests" ] || fail "$answered of $requests requests have a result"
[ "$bad" -eq 0 ] || fail "$bad answers were wrong"

# Every gateway process has ended, and none of them died of a signal or ended with an exit code
# other than 0 or 143; nothing reached the web server's log from a gateway's standard error (the
# server's own lines start with the date).
# FastCGI processes end when the web server stops.
[ "$XG_ENDPOINT" != cgi ] && stop_gateway_server
# A process may still be ending a moment after its answer went out (and the web server notes
# how it ended when it reaps it); one that is still there after half a minute is left over (a
# bound for a process that never ends, which a busy machine does not come near).
for _ in $(seq 1 300); do
  leftover=$(pgrep -f "^($state/www/|$recorder $state/)" | tr '\n' ' ')
  [ -z "$leftover" ] && break
  sleep 0.1
done
if [ -n "$leftover" ]; then
  fail "gateway processes still running after their answers: $leftover"
  # shellcheck disable=SC2086
  kill -KILL $leftover 2>/dev/null
fi
signalled=$(cat "$state/www/error.log" 2>/dev/null | grep -c 'died with signal')
[ "$signalled" -eq 0 ] || fail "$signalled gateway processes died of a signal: $(grep 'died with signal' "$state/www/error.log" | head -3)"
processes=$(wc -l <"$exits")
other_exits=$(grep -c -v -E '^[0-9]+ exit (0|143)$' "$exits")
stopped=$(grep -c -E '^[0-9]+ exit 143$' "$exits")
if [ "$XG_ENDPOINT" = cgi ]; then
  [ "$processes" -ge "$requests" ] || fail "only $processes gateway exits recorded for $requests requests"
else
  [ "$processes" -ge 1 ] && [ "$stopped" -eq 0 ] ||
    fail "FastCGI processes: $processes exits recorded, $stopped of them with 143 instead of 0"
fi
[ "$other_exits" -eq 0 ] || fail "$other_exits gateway processes ended otherwise than with 0 or 143: $(grep -v -E '^[0-9]+ exit (0|143)$' "$exits" | sort -k2 | uniq -c -f1 | head -5)"
# A CGI program's standard error is the web server's: here the file its output goes to.
stray_lines() { cat "$state/www/error.log" "$state/www/server.out" 2>/dev/null | grep -a -v -E '^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9:]{8}: '; }
crash_texts=$(stray_lines | wc -l)
[ "$crash_texts" -eq 0 ] || fail "$crash_texts lines of gateway standard error in the web server's logs: $(stray_lines | head -3)"
firebird_crashes=0
if [ -n "$firebird_log_size" ] && [ -r "$firebird_log" ]; then
  firebird_crashes=$(tail -c +$((firebird_log_size + 1)) "$firebird_log" | grep -c -E 'pthread_mutex|system_call_failed|terminate called')
  [ "$firebird_crashes" -eq 0 ] || fail "$firebird_crashes crash entries in Firebird's log"
fi

# One line per request of the load in the request log, telling what each kind of request must:
# "mode service outcome rows", counted.
mode=fastcgi
[ "$XG_ENDPOINT" = cgi ] && mode=cgi
expected_log=$(for ((n = 0; n < requests; n++)); do
  case $((n % 20)) in
    0 | 1 | 2) echo "$mode SERVICESTATUS ok 0" ;;
    3 | 4 | 5 | 6 | 7) echo "$mode SERVICEOPENSQL ok 20" ;;
    8 | 9 | 10 | 11 | 12 | 13) echo "$mode SERVICEEXECSQL ok 0" ;;
    14 | 15 | 16) echo "$mode \"\" ERROR 0" ;;
    17) if [ "$XG_ENDPOINT" = cgi ]; then echo "$mode SERVICEOPENSQL ERROR 0"; else echo "$mode SERVICEOPENSQL OPENSQL 0"; fi ;;
    18) echo "$mode SERVICEOPENSQL OPENSQL 0" ;;
    19) echo "$mode SERVICEEXECSQL EXECSQL 0" ;;
  esac
done | sort | uniq -c | awk '{ $1 = $1; print }' | sort)
logged=$(python3 "$here/request_log_counts.py" "$request_log" "$XG_LOAD_CLIENT_ADDRESS" | sort)
if [ "$logged" != "$expected_log" ]; then
  fail "the request log does not hold one line per request as expected:"$'\n'"expected:"$'\n'"$expected_log"$'\n'"logged:"$'\n'"$logged"
fi
log_lines=$(wc -l <"$request_log")

# Every insert is in the table, each key once, and no attachment of the gateway is left.
counted=$(isql_server "select 'ROWS=' || count(*) || ' SUM=' || coalesce(sum(id), 0) from load_rows;")
[[ $counted == *"ROWS=$inserted SUM=$key_sum"* ]] ||
  fail "table LOAD_ROWS: expected ROWS=$inserted SUM=$key_sum, found: $counted"
attachments=$(isql_server "select 'LEFT=' || count(*) from mon\$attachments where mon\$attachment_id <> current_connection and mon\$remote_process containing 'xmlgateway';")
[[ $attachments == *"LEFT=0"* ]] || fail "attachments of the gateway left on the server: $attachments"

rate=$(awk -v n="$requests" -v ms="$elapsed_ms" 'BEGIN { printf "%.1f", n * 1000 / ms }')
echo "requests: $requests, clients: $clients, seconds: $(awk -v ms="$elapsed_ms" 'BEGIN { printf "%.1f", ms / 1000 }'), requests per second: $rate, failures: $bad"
left=${attachments##*LEFT=}
echo "rows inserted: $inserted, gateway attachments left: ${left%%[!0-9]*}, request log lines: $log_lines (the load's: $(awk '{ n += $1 } END { print n + 0 }' <<<"$logged"))"
echo "gateway processes: $processes ($stopped of them ended by SIGTERM with 143), other exit codes: $other_exits, lines of gateway standard error in the web server's logs: $crash_texts, crash entries in Firebird's log: $firebird_crashes"
if [ "${failures:-0}" -ne 0 ]; then
  echo "${failures} load checks failed"
  exit 1
fi
failures=0
echo "load test passed"
