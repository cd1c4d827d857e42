#!/usr/bin/env bash
# A password changed on the Firebird server, with attachments kept for a few seconds
# (max-age-seconds): a new attachment (the CGI endpoint) refuses the old password at once; the
# FastCGI process's kept attachment still serves it until its age has passed, then the old
# password is refused there too, and the new one is taken. The age is derived from how long a
# call to the server takes on this machine now, so that a busy machine still asks the kept
# attachment while it is young. The user is made for the test, with a
# name of its own, and dropped at the end.
# Usage: password_change_test.sh PROGRAM
# Needs the server's connection data in XG_FB_SERVER_HOST, XG_FB_SERVER_USER and
# XG_FB_SERVER_PASSWORD.
set -uo pipefail
export LC_ALL=C
program=$1
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=server_test_setup.sh
source "$here/server_test_setup.sh" password
user="XG_PW_$(date +%s)_$$"
isql_server "CREATE USER $user PASSWORD 'first1';" | grep . && { echo "FAIL: cannot create the user"; exit 1; }

# The kept attachment must be asked within its age after the password change: that takes one
# isql call to the server and one request. Their time on this machine now, measured by a few isql
# calls, times a wide margin, and never less than 3 seconds. A busy moment may still push the
# kept query past the age: that run says nothing about the kept attachment, and the whole check
# runs again with twice the age, so that a slow machine gives the same verdict, only later.
started=$(date +%s%N)
for _ in 1 2 3; do isql_server "select 1 from rdb\$database;" >/dev/null; done
call_ms=$((($(date +%s%N) - started) / 3000000))
max_age=$(((call_ms * 20 + 999) / 1000))
[ "$max_age" -ge 3 ] || max_age=3
# shellcheck source=../support/gateway_server.sh
source "$here/../support/gateway_server.sh"
cleanup() {
  stop_gateway_server
  isql_server "DROP USER $user;" | grep . && echo "the user $user could not be dropped"
  [ "$failures" -eq 0 ] && rm -rf "$state"
}
trap cleanup EXIT

# query NAME URL PASSWORD: the answer to a one-row query as the test's user, in $state/NAME.
query() {
  local request="<?xml version=\"1.0\"?><SENDDATA><SERVICE>SERVICEOPENSQL</SERVICE><DB>$database</DB><USER>$user</USER><PASS>$(b64 "$3")</PASS><SQL>$(b64 'select current_user as WHO from rdb$database')</SQL></SENDDATA>"
  curl -s -m 30 -o "$state/$1" --data-urlencode "SENDDATA=$(b64 "$request")" "$2" || fail "$1: curl failed"
}
expect_served() { grep -aq "<WHO DATATYPE=\"STRING\" DATASIZE=\"[0-9]*\">$user *</WHO>" "$state/$1" || fail "$1: not served: $(head -c 400 "$state/$1")"; }
expect_refused() { grep -aq 'Your user name and password are not defined' "$state/$1" || fail "$1: not refused: $(head -c 400 "$state/$1")"; }

# check_with_age SECONDS: the whole check with attachments kept that long, the user's password
# "first1" at its start. Answers 1, having checked nothing after the kept query, when that query
# came too late to find the attachment still young.
check_with_age() {
  printf '[pool]\nattachments = on\nmax-age-seconds = %d\n' "$1" >"$state/xmlgateway.conf"
  # One FastCGI process, so that every request through it finds the attachment it kept.
  XG_ENDPOINT=fcgi XG_FCGI_PROCS=1 start_gateway_server "$state" "$port" "$program" "$state/xmlgateway.conf"
  local fcgi_url=$gateway_url
  local cgi_url=${gateway_url%/fcgi/xmlgateway}/cgi-bin/xmlgateway
  local attached age_ms
  attached=$(date +%s%N)
  query before "$fcgi_url" first1
  expect_served before
  isql_server "ALTER USER $user PASSWORD 'second2';" | grep . && fail "cannot change the password"
  # The kept attachment is asked first: the refused login below takes the server's delay for a
  # failed login, which says nothing about the kept attachment's age.
  query kept "$fcgi_url" first1
  age_ms=$((($(date +%s%N) - attached) / 1000000))
  if [ "$age_ms" -ge $(($1 * 1000)) ]; then
    echo "kept: asked ${age_ms} ms after the attach, past its age of $1 s (the measured call took ${call_ms} ms): again with twice the age"
    stop_gateway_server
    return 1
  fi
  expect_served kept
  query new_attachment "$cgi_url" first1
  expect_refused new_attachment
  query new_password "$fcgi_url" second2
  expect_served new_password
  # Past the kept attachment's age.
  sleep $(($1 + 1))
  query aged "$fcgi_url" first1
  expect_refused aged
  query new_password_later "$fcgi_url" second2
  expect_served new_password_later
  stop_gateway_server
}

checked=0
for _ in 1 2 3 4 5; do
  if check_with_age "$max_age"; then
    checked=1
    break
  fi
  isql_server "ALTER USER $user PASSWORD 'first1';" | grep . && fail "cannot change the password back"
  max_age=$((max_age * 2))
  port=$((port + 1))
done
[ "$checked" = 1 ] || fail "the kept query came past the attachment's age five times, the last with $((max_age / 2)) s"

if [ "$failures" -ne 0 ]; then
  echo "$failures password checks failed (state kept in $state)"
  exit 1
fi
echo "password checks passed"
