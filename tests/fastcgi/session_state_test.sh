#!/usr/bin/env bash
# One FastCGI process with attachments kept, through the Firebird server: what a request leaves
# in its session (a context variable of the session, also one set after the request read the
# monitoring tables, rows of a temporary table kept past the commit, a role set) is not seen by
# the next request of the same database, user and password, which answers as the CGI program
# does; a request that leaves nothing of the kind hands its attachment on to the next one.
# Usage: session_state_test.sh PROGRAM
# Needs the server's connection data in XG_FB_SERVER_HOST, XG_FB_SERVER_USER and
# XG_FB_SERVER_PASSWORD.
set -uo pipefail
export LC_ALL=C
program=$1
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=server_test_setup.sh
source "$here/server_test_setup.sh" session
isql_server "CREATE GLOBAL TEMPORARY TABLE KEPT_ROWS (N INTEGER) ON COMMIT PRESERVE ROWS;
CREATE ROLE READER;
GRANT READER TO $XG_FB_SERVER_USER;
COMMIT;" | grep . && { echo "FAIL: cannot make the schema"; exit 1; }

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
connection() { value "$fcgi_url" SERVICEOPENSQL 'select current_connection as C from rdb$database'; }

# STATE|SERVICE|SQL that leaves it|its answer (a pattern)|a query that sees it|its answer on a
# fresh attachment. The request that leaves the state must have left it, and the query must answer
# a value: otherwise the comparison would hold for a state that was never there.
while IFS='|' read -r what service sql set_answer probe fresh_answer; do
  fresh=$(value "$cgi_url" SERVICEOPENSQL "$probe")
  # shellcheck disable=SC2053 # the expected answers are patterns
  [[ $fresh == $fresh_answer ]] || fail "$what: the CGI program answered '$fresh' where '$fresh_answer' was expected"
  set=$(value "$fcgi_url" "$service" "$sql")
  # shellcheck disable=SC2053
  [[ $set == $set_answer ]] || fail "$what: the request that leaves it answered '$set' where '$set_answer' was expected"
  after=$(value "$fcgi_url" SERVICEOPENSQL "$probe")
  [ "$after" = "$fresh" ] || fail "$what: the next request answered '$after' where the CGI program answers '$fresh'"
done <<'CASES'
a context variable of the session|SERVICEOPENSQL|select rdb$set_context('USER_SESSION', 'k', 'v') as S from rdb$database|0|select coalesce(rdb$get_context('USER_SESSION', 'k'), 'none') as V from rdb$database|none
rows of a temporary table kept past the commit|SERVICEEXECSQL|insert into kept_rows values (1)|Opera*o efetuada com sucesso|select count(*) as N from kept_rows|0
a context variable set after the request read the monitoring tables|SERVICEOPENSQL|execute block returns (s integer) as begin select count(*) from mon$attachments into s; s = rdb$set_context('USER_SESSION', 'late', 'v'); suspend; end|0|select coalesce(rdb$get_context('USER_SESSION', 'late'), 'none') as V from rdb$database|none
a role|SERVICEEXECSQL|set role reader|Opera*o efetuada com sucesso|select current_role as R from rdb$database|NONE
CASES

first=$(connection)
second=$(connection)
[[ $first =~ ^[0-9]+$ ]] && [ "$first" = "$second" ] || fail "a clean attachment was not handed on: connection '$first', then '$second'"

if [ "$failures" -ne 0 ]; then
  echo "$failures session state checks failed (state kept in $state)"
  exit 1
fi
echo "session state checks passed"
