#!/usr/bin/env bash
# One FastCGI process with attachments kept, through the Firebird server: what a request leaves
# in its session (a context variable of the session, also one set after the request read the
# monitoring tables or by a trigger on transaction commit or rollback, rows of a temporary table
# kept past the commit, also rows an autonomous transaction committed, a role set) is not seen by
# the next request of the same database, user and password, which answers as the CGI program
# does; a request that leaves nothing of the kind hands its attachment on to the next one, and
# the check runs no trigger on transaction start, commit or rollback of the database once more.
# Usage: session_state_test.sh PROGRAM
# Needs the server's connection data in XG_FB_SERVER_HOST, XG_FB_SERVER_USER and
# XG_FB_SERVER_PASSWORD.
set -uo pipefail
export LC_ALL=C
program=$1
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=server_test_setup.sh
source "$here/server_test_setup.sh" session
# A trigger on transaction END (commit or rollback) of the database that counts the transactions
# it ends in the sequence ENDS, and that sets a context variable of the session when its
# transaction set MARK.
end_trigger() {
  printf '%s\n' "CREATE SEQUENCE ENDS;
SET TERM ^ ;
CREATE TRIGGER AT_END ON TRANSACTION $1 AS
DECLARE X INTEGER;
BEGIN
  X = GEN_ID(ENDS, 1);
  IF (RDB\$GET_CONTEXT('USER_TRANSACTION', 'MARK') IS NOT NULL) THEN
    X = RDB\$SET_CONTEXT('USER_SESSION', 'AFTER_END', 'set');
END^
SET TERM ; ^"
}
isql_server "CREATE GLOBAL TEMPORARY TABLE KEPT_ROWS (N INTEGER) ON COMMIT PRESERVE ROWS;
CREATE ROLE READER;
GRANT READER TO $XG_FB_SERVER_USER;
$(end_trigger COMMIT)
COMMIT;" | grep . && { echo "FAIL: cannot make the schema"; exit 1; }
# Two more databases: one with the trigger on rollback, one whose trigger on transaction start
# counts the transactions begun.
make_database() {  # NAME SCHEMA: sets database to the new database
  database="$XG_FB_SERVER_HOST:$state/db/$1.fdb"
  printf "CREATE DATABASE '%s' USER '%s' PASSWORD '%s';\n%s\nCOMMIT;\n" "$database" "$XG_FB_SERVER_USER" \
    "$XG_FB_SERVER_PASSWORD" "$2" | "$isql_bin" -q 2>&1 | grep . && { echo "FAIL: cannot make $database"; exit 1; }
}
main_database=$database
make_database rollback "$(end_trigger ROLLBACK)"
rollback_database=$database
make_database start "CREATE SEQUENCE STARTS;
SET TERM ^ ;
CREATE TRIGGER AT_START ON TRANSACTION START AS
DECLARE X INTEGER;
BEGIN
  X = GEN_ID(STARTS, 1);
END^
SET TERM ; ^"
start_database=$database
database=$main_database

printf '[pool]\nattachments = on\n' >"$state/xmlgateway.conf"
# shellcheck source=../support/gateway_server.sh
source "$here/../support/gateway_server.sh"
cleanup() {
  stop_gateway_server
  [ "$failures" -eq 0 ] && rm -rf "$state"
}
trap cleanup EXIT
# One FastCGI process, so that every request through it finds the attachment it kept.
XG_ENDPOINT=fcgi XG_FCGI_PROCS=1 start_gateway_server "$state" "$port" "$program" "$state/xmlgateway.conf"
fcgi_url=$gateway_url
cgi_url=${gateway_url%/fcgi/xmlgateway}/cgi-bin/xmlgateway

# value URL SERVICE SQL: the first value of the answer (the first column of the first row, or the
# message of a statement), or "(no value)" and the answer itself when it has none.
value() {
  local request="<?xml version=\"1.0\"?><SENDDATA><SERVICE>$2</SERVICE><DB>$database</DB><USER>$XG_FB_SERVER_USER</USER><PASS>$(b64 "$XG_FB_SERVER_PASSWORD")</PASS><SQL>$(b64 "$3")</SQL></SENDDATA>"
  local answer
  answer=$(curl -s -m 120 --data-urlencode "SENDDATA=$(b64 "$request")" "$1" | tr -d '\r') || { echo "(curl failed)"; return; }
  local found
  found=$(printf '%s\n' "$answer" | sed -n '/^<RECORD1>$/,/^<\/RECORD1>$/p; /^<EXECSQL>$/,/^<\/EXECSQL>$/p' |
    sed -n 's/^ <[^>]*>\([^<]*\)<.*/\1/p' | head -n1)
  if [ -n "$found" ]; then printf '%s\n' "$found" | sed 's/ *$//'; else printf '(no value) %s\n' "$answer" | head -c 300; fi
}

# STATE|SERVICE|SQL that leaves it|its answer (a pattern)|a query that sees it|its answer on a
# fresh attachment, on $database. The request that leaves the state must have left it, and the
# query must answer a value: otherwise the comparison would hold for a state that was never there.
check_cases() {
  while IFS='|' read -r what service sql set_answer probe fresh_answer; do
    fresh=$(value "$cgi_url" SERVICEOPENSQL "$probe")
    # shellcheck disable=SC2053 # the expected answers are patterns
    [[ $fresh == $fresh_answer ]] || fail "$what: the CGI program answered '$fresh' where '$fresh_answer' was expected"
    set=$(value "$fcgi_url" "$service" "$sql")
    # shellcheck disable=SC2053
    [[ $set == $set_answer ]] || fail "$what: the request that leaves it answered '$set' where '$set_answer' was expected"
    after=$(value "$fcgi_url" SERVICEOPENSQL "$probe")
    [ "$after" = "$fresh" ] || fail "$what: the next request answered '$after' where the CGI program answers '$fresh'"
  done
}
check_cases <<'CASES'
a context variable of the session|SERVICEOPENSQL|select rdb$set_context('USER_SESSION', 'k', 'v') as S from rdb$database|0|select coalesce(rdb$get_context('USER_SESSION', 'k'), 'none') as V from rdb$database|none
rows of a temporary table kept past the commit|SERVICEEXECSQL|insert into kept_rows values (1)|Opera*o efetuada com sucesso|select count(*) as N from kept_rows|0
rows of a temporary table that an autonomous transaction committed|SERVICEEXECSQL|execute block as begin in autonomous transaction do insert into kept_rows values (42); end|Opera*o efetuada com sucesso|select count(*) as N from kept_rows|0
a context variable set after the request read the monitoring tables|SERVICEOPENSQL|execute block returns (s integer) as begin select count(*) from mon$attachments into s; s = rdb$set_context('USER_SESSION', 'late', 'v'); suspend; end|0|select coalesce(rdb$get_context('USER_SESSION', 'late'), 'none') as V from rdb$database|none
a context variable set by the trigger on commit|SERVICEOPENSQL|select rdb$set_context('USER_TRANSACTION', 'MARK', 'c') as S from rdb$database|0|select coalesce(rdb$get_context('USER_SESSION', 'AFTER_END'), 'none') as V from rdb$database|none
a role|SERVICEEXECSQL|set role reader|Opera*o efetuada com sucesso|select current_role as R from rdb$database|NONE
CASES

# handed_on SEQUENCE: two requests in a row that leave nothing run on one attachment, and the
# sequence that a trigger of the database moves moved as the CGI program moves it: by INCREASE
# from the first request to the second.
handed_on() {  # SEQUENCE INCREASE
  local sql="select current_connection || ' ' || gen_id($1, 0) as C from rdb\$database"
  local first second
  first=$(value "$fcgi_url" SERVICEOPENSQL "$sql")
  second=$(value "$fcgi_url" SERVICEOPENSQL "$sql")
  [[ $first =~ ^[0-9]+\ [0-9]+$ && $second =~ ^[0-9]+\ [0-9]+$ ]] || { fail "$database: answers '$first', '$second'"; return; }
  [ "${first% *}" = "${second% *}" ] || fail "$database: a clean attachment was not handed on: connection ${first% *}, then ${second% *}"
  [ $((${second#* } - ${first#* })) -eq "$2" ] ||
    fail "$database: $1 went from ${first#* } to ${second#* } between two requests, where the CGI program moves it by $2"
}
# Each request's commit runs the trigger once; the check's own transaction does not.
handed_on ends 1

database=$rollback_database
check_cases <<'CASES'
a context variable set by the trigger on rollback|SERVICEEXECSQL|execute block as declare x integer; begin x = rdb$set_context('USER_TRANSACTION', 'MARK', 'r') / 0; end|(no value) *Opera*o n*o efetuada: *divide by zero*|select coalesce(rdb$get_context('USER_SESSION', 'AFTER_END'), 'none') as V from rdb$database|none
CASES
handed_on ends 0

# A database whose trigger runs at every transaction start: its attachments are not kept (the
# check would start a transaction), and each request starts its one transaction, as in CGI.
database=$start_database
first=$(value "$fcgi_url" SERVICEOPENSQL 'select gen_id(starts, 0) as G from rdb$database')
second=$(value "$fcgi_url" SERVICEOPENSQL 'select gen_id(starts, 0) as G from rdb$database')
[[ $first =~ ^[0-9]+$ ]] && [ "$second" = "$((first + 1))" ] ||
  fail "$database: the transaction starts went from '$first' to '$second' between two requests, where the CGI program moves them by 1"

if [ "$failures" -ne 0 ]; then
  echo "$failures session state checks failed (state kept in $state)"
  exit 1
fi
echo "session state checks passed"
