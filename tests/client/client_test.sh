#!/usr/bin/env bash
# xmlgateway-client against the gateway served by lighttpd: every service in every format, values
# that need escaping round-tripping into CSV and JSON, and the client's failures with their exit
# codes (against lighttpd itself and a fake web server for answers the gateway never gives).
# Usage: client_test.sh CLIENT GATEWAY (XG_ENDPOINT chooses the endpoint: see
# support/gateway_server.sh)
set -uo pipefail
client=$1
program=$2
here=$(cd "$(dirname "$0")" && pwd)
scripts=$here/../../scripts
state=$(mktemp -d /tmp/xg-client.XXXXXX)
# Below 32768, where the kernel takes the local ports of outgoing connections: no client
# connection of another test can hold it.
port=$((20000 + RANDOM % 12000))
# The gateway's configuration, handed to it through the web server: the embedded databases it
# may open are listed here, and any further line the tests need goes here too.
mkdir -p "$state/db"
cat >"$state/xmlgateway.conf" <<CONF
[databases]
embedded = $state/db/*
CONF

"$scripts/create-demo-db.sh" "$state/db/demo.fdb" >/dev/null || { echo "FAIL: no demo database"; exit 1; }
python3 "$here/fake_http_server.py" "$state/fake.port" 2>"$state/fake.log" &
fake=$!
# shellcheck source=../support/gateway_server.sh
source "$here/../support/gateway_server.sh"
trap 'stop_gateway_server; kill $fake 2>/dev/null; wait $fake 2>/dev/null; rm -rf "$state"' EXIT
# The gateway's standard error goes to the web server's (state/server.out): kept apart, shown when
# a check fails.
start_gateway_server "$state" "$port" "$program" "$state/xmlgateway.conf"
url=$gateway_url
for _ in $(seq 1 300); do curl -s -o /dev/null "$url" && [ -s "$state/fake.port" ] && break; sleep 0.1; done
fake_url="http://127.0.0.1:$(cat "$state/fake.port")"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# run NAME EXIT-CODE ARGS...: runs the client (standard input from $state/NAME.in when that
# exists), its output in $state/NAME.out and $state/NAME.err, and checks its exit code.
run() {
  local name=$1 code=$2 input=/dev/null
  shift 2
  [ -e "$state/$name.in" ] && input=$state/$name.in
  "$client" "$@" <"$input" >"$state/$name.out" 2>"$state/$name.err"
  local got=$?
  [ "$got" -eq "$code" ] || fail "$name: exit code $got instead of $code: $(head -c 400 "$state/$name.err")"
}
# expect_out NAME TEXT / expect_err NAME TEXT: standard output or error is exactly TEXT (plus LF).
expect_out() { [ "$(cat "$state/$1.out")" = "$2" ] || fail "$1: output is"$'\n'"$(cat "$state/$1.out")"; }
expect_err() { [ "$(cat "$state/$1.err")" = "$2" ] || fail "$1: error output is"$'\n'"$(cat "$state/$1.err")"; }
# expect_err_start NAME TEXT: standard error begins with TEXT.
expect_err_start() {
  case "$(cat "$state/$1.err")" in "$2"*) ;; *) fail "$1: error output is"$'\n'"$(cat "$state/$1.err")" ;; esac
}
# expect_json NAME PYTHON-CHECK: every output line is a JSON object; the check sees them as `rows`.
expect_json() {
  python3 -c 'import json, sys
rows = [json.loads(line) for line in open(sys.argv[1], encoding="utf-8")]
sys.exit(0 if eval(sys.argv[2]) else 1)' "$state/$1.out" "$2" || fail "$1: JSON output is"$'\n'"$(cat "$state/$1.out")"
}

printf 'masterkey\n' >"$state/password"
db=(--url "$url" --db "$state/db/demo.fdb" --user SYSDBA --password-file "$state/password")
service_text='Serviço em Operação'
done_text='Operação efetuada com sucesso'

# --- The status probe in every format.
run status_csv 0 --url "$url" --format csv status
[ "$(sed -n 1p "$state/status_csv.out")" = "TIMESTAMP,AGENT,MSGDATA,STRING,INTEGER,BOOLEAN,FLOAT,DATE,TIME,DATETIME" ] ||
  fail "status_csv: header is $(sed -n 1p "$state/status_csv.out")"
sed -n 2p "$state/status_csv.out" |
  grep -qE "^[^,]+,xmlgateway-client,$service_text,ABCDEFGHIJKLMNOPQRSTWVWXYZ,2147483647,True,1\.7E308,[^,]+,[^,]+,[^,]+\$" ||
  fail "status_csv: values are $(sed -n 2p "$state/status_csv.out")"
[ "$(wc -l <"$state/status_csv.out")" -eq 2 ] || fail "status_csv: not two lines"
run status_default 0 --url "$url" status
cmp -s <(head -n1 "$state/status_default.out") <(head -n1 "$state/status_csv.out") ||
  fail "status_default: output to a file is not CSV"
run status_json 0 --url "$url" --format json status
expect_json status_json "len(rows) == 1 and list(rows[0]) == ['TIMESTAMP', 'AGENT', 'MSGDATA', 'STRING', 'INTEGER', 'BOOLEAN', 'FLOAT', 'DATE', 'TIME', 'DATETIME'] and rows[0]['MSGDATA'] == '$service_text' and rows[0]['AGENT'] == 'xmlgateway-client' and rows[0]['INTEGER'] == '2147483647'"
run status_table 0 --url "$url" --format table status
grep -qx "MSGDATA    STRING    $service_text" "$state/status_table.out" || fail "status_table: no MSGDATA line"
grep -qE '^TIMESTAMP  DATETIME  [0-9]+/[0-9]+/[0-9]+ [0-9:]+ (am|pm)$' "$state/status_table.out" ||
  fail "status_table: no TIMESTAMP line"
[ "$(wc -l <"$state/status_table.out")" -eq 10 ] || fail "status_table: not ten lines"
run status_raw 0 --url "$url" --format raw status
[ "$(wc -l <"$state/status_raw.out")" -eq 15 ] && [ "$(grep -c $'\r$' "$state/status_raw.out")" -eq 15 ] ||
  fail "status_raw: not 15 lines ending in CR LF"
[ "$(sed -n 5p "$state/status_raw.out")" = $' <MSGDATA DATATYPE="STRING">Servi\xe7o em Opera\xe7\xe3o</MSGDATA>\r' ] ||
  fail "status_raw: the document's bytes are changed: $(sed -n 5p "$state/status_raw.out")"

# --- The error probe: an ERROR document is a failure in every format; raw still shows it.
for format in table csv json; do
  run "error_$format" 5 --url "$url" --format "$format" error
  expect_out "error_$format" ""
  expect_err "error_$format" "xmlgateway-client: Erro desconhecido"
done
run error_raw 5 --url "$url" --format raw error
[ "$(sed -n 2p "$state/error_raw.out")" = $'<ERROR>\r' ] || fail "error_raw: not the ERROR document"
expect_err error_raw "xmlgateway-client: Erro desconhecido"

# --- A query in every format, and an empty result.
run query_table 0 "${db[@]}" --format table query "select * from products order by code"
expect_out query_table "CODE  NAME    PRICE  NOTE
----  ------  -----  -------------
   1  Coffee  12.5   ground, 500 g
   2  Tea     7.9
   3  Sugar   4.25   refined
(3 rows)"
run query_csv 0 "${db[@]}" --format csv query "select * from products order by code"
expect_out query_csv 'CODE,NAME,PRICE,NOTE
1,Coffee,12.5,"ground, 500 g"
2,Tea,7.9,
3,Sugar,4.25,refined'
run query_json 0 "${db[@]}" --format json query "select * from products order by code"
expect_out query_json '{"CODE":"1","NAME":"Coffee","PRICE":"12.5","NOTE":"ground, 500 g"}
{"CODE":"2","NAME":"Tea","PRICE":"7.9","NOTE":""}
{"CODE":"3","NAME":"Sugar","PRICE":"4.25","NOTE":"refined"}'
run query_raw 0 "${db[@]}" --format raw query "select * from products order by code"
[ "$(sed -n 2p "$state/query_raw.out")" = $'<OPENSQL RECORDCOUNT="3">\r' ] &&
  [ "$(wc -l <"$state/query_raw.out")" -eq 21 ] &&
  grep -qx $' <NAME DATATYPE="STRING" DATASIZE="40">Coffee</NAME>\r' "$state/query_raw.out" ||
  fail "query_raw: not the OPENSQL document: $(head -c 300 "$state/query_raw.out")"
run empty_table 0 "${db[@]}" --format table query "select code, name from products where code < 0"
expect_out empty_table "CODE  NAME
----  ----
(0 rows)"
run empty_csv 0 "${db[@]}" --format csv query "select code, name from products where code < 0"
expect_out empty_csv "CODE,NAME"
run empty_json 0 "${db[@]}" --format json query "select code, name from products where code < 0"
expect_out empty_json ""
# The SQL from a file and from standard input.
echo "select name from products where code = 2" >"$state/sql_file.sql"
run sql_file 0 "${db[@]}" --format csv query --sql-file "$state/sql_file.sql"
expect_out sql_file $'NAME\nTea'
echo "select name from products where code = 3" >"$state/sql_stdin.in"
run sql_stdin 0 "${db[@]}" --format csv query -
expect_out sql_stdin $'NAME\nSugar'
run query_failed 5 "${db[@]}" query "select * from no_such_table"
expect_err_start query_failed $'xmlgateway-client: Dynamic SQL Error\nSQL error code = -204\nTable unknown'
run query_no_database 5 --url "$url" --db "$state/db/none.fdb" --user SYSDBA --password-file "$state/password" \
  query "select 1 from rdb\$database"
# A file that is not there is not an embedded database: the name goes to the local server, which
# checks the password first (the test suite runs the server).
expect_err_start query_no_database "xmlgateway-client: Your user name and password are not defined"

# --- Statements in every format; a failing one.
code=10
for format in table csv json raw; do
  code=$((code + 1))
  run "exec_$format" 0 "${db[@]}" --format "$format" exec "insert into products (code, name) values ($code, '$format')"
done
expect_out exec_table "MSGDATA  STRING  $done_text"
expect_out exec_csv "MSGDATA"$'\n'"$done_text"
expect_out exec_json "{\"MSGDATA\":\"$done_text\"}"
[ "$(cat "$state/exec_raw.out")" = $'<?xml version="1.0" encoding="ISO-8859-1"?>\r\n<EXECSQL>\r\n <MSGDATA DATATYPE="STRING">Opera\xe7\xe3o efetuada com sucesso</MSGDATA>\r\n</EXECSQL>\r' ] ||
  fail "exec_raw: not the EXECSQL document: $(cat "$state/exec_raw.out")"
echo "insert into products (code, name) values (11, 'again')" >"$state/exec_again.in"
run exec_again 5 "${db[@]}" exec -
expect_err_start exec_again "xmlgateway-client: Operação não efetuada: violation of PRIMARY or UNIQUE KEY constraint"
expect_out exec_again ""
run exec_select 5 "${db[@]}" exec "select * from products"
expect_err exec_select "xmlgateway-client: Operação não efetuada: use Open para uma Select Statement"

# --- Values that need escaping, Latin-1 letters, a NUL and a line break, into CSV and JSON. The
# gateway escapes "&", "<" and ">" and writes the NUL, a control character XML cannot carry, as
# "?"; the CR LF reads as LF, as in XML.
run odd_table 0 "${db[@]}" exec "create table odd (id integer not null primary key, v blob sub_type text)"
run odd_insert 0 "${db[@]}" exec "insert into odd select 1, 'a & b < c > d \"q\", e' from rdb\$database
  union all select 2, 'Ação José ÿ' from rdb\$database
  union all select 3, 'x' || ascii_char(0) || 'y' from rdb\$database
  union all select 4, 'line' || ascii_char(13) || ascii_char(10) || 'break' from rdb\$database"
run odd_csv 0 "${db[@]}" --format csv query "select id, v from odd order by id"
printf 'ID,V\n1,"a & b < c > d ""q"", e"\n2,Ação José ÿ\n3,x?y\n4,"line\nbreak"\n' >"$state/odd_csv.expected"
cmp -s "$state/odd_csv.out" "$state/odd_csv.expected" || fail "odd_csv: output is"$'\n'"$(cat -v "$state/odd_csv.out")"
run odd_json 0 "${db[@]}" --format json query "select id, v from odd order by id"
expect_out odd_json '{"ID":"1","V":"a & b < c > d \"q\", e"}
{"ID":"2","V":"Ação José ÿ"}
{"ID":"3","V":"x?y"}
{"ID":"4","V":"line\nbreak"}'
expect_json odd_json "[r['V'] for r in rows] == ['a & b < c > d \"q\", e', 'Ação José ÿ', 'x?y', 'line\\nbreak']"
run odd_table_out 0 "${db[@]}" --format table query "select id, v from odd where id > 2 order by id"
expect_out odd_table_out 'ID  V
--  -----------
 3  x?y
 4  line\nbreak
(2 rows)'
run odd_raw 0 "${db[@]}" --format raw query "select v from odd where id = 2"
grep -q $'>A\xe7\xe3o Jos\xe9 \xff<' "$state/odd_raw.out" || fail "odd_raw: the Latin-1 bytes are changed"
# A statement's failure message quoting a key with "&" and "<", escaped by the gateway.
run odd_key 0 "${db[@]}" exec "create table odd_keys (k varchar(20) not null primary key)"
run odd_key_insert 0 "${db[@]}" exec "insert into odd_keys values ('a&b<c>')"
run odd_key_again 5 "${db[@]}" exec "insert into odd_keys values ('a&b<c>')"
grep -qF "Problematic key value is (\"K\" = 'a&b<c>')" "$state/odd_key_again.err" ||
  fail "odd_key_again: error output is $(cat "$state/odd_key_again.err")"

# --- The client's own failures: exit code and the start of the message.
while IFS='|' read -r name code message args; do
  eval "set -- $args"
  run "failure_$name" "$code" "$@"
  expect_err_start "failure_$name" "xmlgateway-client: $message"
  [ -s "$state/failure_$name.out" ] && fail "failure_$name: wrote output: $(head -c 200 "$state/failure_$name.out")"
done <<TABLE
unreachable|3|no answer from http://127.0.0.1:1/cgi-bin/xmlgateway: |--url http://127.0.0.1:1/cgi-bin/xmlgateway status
bad_url|3|no answer from nowhere://x: |--url nowhere://x status
timeout|3|no answer from $fake_url/slow: |--url $fake_url/slow --timeout 1 status
not_found|4|not a gateway answer: HTTP status 404 Not Found|--url http://127.0.0.1:$port/cgi-bin/none status
cut|4|cut answer (HTTP status 200 OK): 60 bytes of 1000 came|--url $fake_url/cut --format raw status
garbage|4|not a gateway answer: line 1: expected <?xml|--url $fake_url/garbage status
failure_page|5|HTTP status 500 Division by zero: Internal Server Error 500 Exception: EDivByZero Message: Division by zero|--url $fake_url/failure status
no_command|2|no command: status, error, query or exec|--url $url
no_database|2|query wants --db DATABASE|--url $url query --user SYSDBA 'select 1'
no_sql_file|2|cannot read the SQL $state/none.sql: No such file or directory|${db[*]} query --sql-file $state/none.sql
euro|2|the SQL holds the character U+20AC, which ISO-8859-1 cannot carry|${db[*]} query "select '€' from rdb\\\$database"
TABLE
# Without a password file the password is asked for on the terminal, and there is none here.
setsid -w "$client" --url "$url" --db "$state/db/demo.fdb" --user SYSDBA query "select 1 from rdb\$database" \
  </dev/null >"$state/no_terminal.out" 2>"$state/no_terminal.err"
[ $? -eq 2 ] || fail "no_terminal: exit code is not 2"
expect_err_start no_terminal "xmlgateway-client: no terminal to ask for the password on: give --password-file"
# On a terminal the password is asked for with echo off: typed once the prompt shows, it is not
# shown back. The answer goes to a file, not to the terminal: what a process writes to a
# terminal right before it ends can be gone when the terminal hangs up, so only the prompt's
# lines are read from it.
python3 - "$state/prompt.csv" "$client" --url "$url" --format csv query --db "$state/db/demo.fdb" \
  --user SYSDBA "select 1 as n from rdb\$database" >"$state/prompt.out" 2>&1 <<'PYTHON'
import os, pty, sys
pid, terminal = pty.fork()
if pid == 0:
    answer = os.open(sys.argv[1], os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600)
    os.dup2(answer, 1)
    os.execv(sys.argv[2], sys.argv[2:])
shown = b""
def read():
    global shown
    try:
        chunk = os.read(terminal, 4096)
    except OSError:
        chunk = b""
    shown += chunk
    return chunk
while b"Password for SYSDBA: " not in shown and read():
    pass
os.write(terminal, b"typed-secret\r")
while read():
    pass
os.waitpid(pid, 0)
sys.stdout.buffer.write(shown)
PYTHON
[ "$(tr -d '\r' <"$state/prompt.out")" = $'Password for SYSDBA: ' ] ||
  fail "prompt: the terminal shows"$'\n'"$(cat -v "$state/prompt.out")"
[ "$(cat "$state/prompt.csv")" = $'N\n1' ] ||
  fail "prompt: the answer is"$'\n'"$(cat -v "$state/prompt.csv")"

# The password reaches a server that checks it.
if [ -n "${XG_FB_SERVER_HOST:-}" ] && [ -n "${XG_FB_SERVER_USER:-}" ] && [ -n "${XG_FB_SERVER_PASSWORD:-}" ]; then
  # The server's own user creates and owns the database file it serves.
  chmod 755 "$state"
  chmod 777 "$state/db"
  server_db="$XG_FB_SERVER_HOST:$state/db/server.fdb"
  printf "CREATE DATABASE '%s' USER '%s' PASSWORD '%s';\n" "$server_db" "$XG_FB_SERVER_USER" \
    "$XG_FB_SERVER_PASSWORD" | "$(command -v isql-fb || command -v isql)" -q >/dev/null 2>&1 ||
    fail "server: cannot create $server_db"
  printf '%s\n' "$XG_FB_SERVER_PASSWORD" >"$state/server_password"
  printf 'wrong-%s\n' "$XG_FB_SERVER_PASSWORD" >"$state/wrong_password"
  server_args=(--url "$url" --format csv --db "$server_db" --user "$XG_FB_SERVER_USER")
  run server_password 0 "${server_args[@]}" --password-file "$state/server_password" query "select 1 as n from rdb\$database"
  expect_out server_password $'N\n1'
  run server_wrong_password 5 "${server_args[@]}" --password-file "$state/wrong_password" query "select 1 as n from rdb\$database"
  expect_err_start server_wrong_password "xmlgateway-client: Your user name and password are not defined"
else
  echo "SKIP: the password check through the Firebird server (XG_FB_SERVER_HOST, _USER, _PASSWORD not set)"
fi

run help 0 --help
grep -q '^Exit codes:' "$state/help.out" || fail "help: no exit codes"

if [ "$failures" -ne 0 ]; then
  echo "the web server's standard error:"
  cat "$state/server.out"
  echo "$failures client checks failed"
  exit 1
fi
echo "all client checks passed"
