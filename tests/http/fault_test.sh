#!/usr/bin/env bash
# Processor faults through lighttpd: the test-only program xmlgateway_faulty faults inside the
# request the header X-XG-Fault names; the client must get a complete HTTP 500 answer that
# names the fault, never an empty or cut reply.
# Through a FastCGI endpoint the faulting process ends after its answer and the web server
# starts another, so every fault is answered in turn.
# Usage: fault_test.sh FAULTY_PROGRAM (XG_ENDPOINT: cgi or fcgi, see support/gateway_server.sh)
set -uo pipefail
program=$1
here=$(cd "$(dirname "$0")" && pwd)
state=$(mktemp -d /tmp/xg-http-faults.XXXXXX)
# Below 32768, where the kernel takes the local ports of outgoing connections: no client
# connection of another test can hold it.
port=$((20000 + RANDOM % 12000))
# shellcheck source=../support/gateway_server.sh
source "$here/../support/gateway_server.sh"
trap 'stop_gateway_server; rm -rf "$state"' EXIT
start_gateway_server "$state" "$port" "$program"
url=$gateway_url

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
request=$(printf '%s' '<?xml version="1.0"?><SENDDATA><SERVICE>SERVICESTATUS</SERVICE></SENDDATA>' | base64 -w0)

# fault NAME CLASS MESSAGE-PATTERN: a 500 answer whose page names the class and the message.
fault() {
  local name=$1 class=$2 pattern=$3 head=$state/$1.head body=$state/$1.body
  curl -s -m 120 -D "$head" -o "$body" -H "X-XG-Fault: $name" --data-urlencode "SENDDATA=$request" "$url" ||
    fail "$name: curl failed"
  tr -d '\r' <"$head" | head -n1 | grep -q '^HTTP/1.1 500 ' || fail "$name: status is $(head -n1 "$head")"
  local length
  length=$(tr -d '\r' <"$head" | sed -n 's/^Content-Length: //Ip')
  [ "$length" = "$(wc -c <"$body")" ] || fail "$name: Content-Length $length for $(wc -c <"$body") bytes"
  grep -aq "^Exception: $class<br>"$'\r$' "$body" || fail "$name: class is not $class: $(cat "$body")"
  grep -aqE "^Message: $pattern<br></html>"$'\r$' "$body" || fail "$name: message is not '$pattern': $(cat "$body")"
}

fault null-write EAccessViolation "Access violation at address [0-9A-F]{8,16} in module 'xmlgateway(_faulty)?'\. Write of address 00000000"
fault div-zero EDivByZero 'Division by zero'
fault stack-overflow EStackOverflow 'Stack overflow'

# Through a FastCGI endpoint, a fault while the answer's first bytes are still held in the
# process's buffer is answered with the failure page: nothing of the answer reached the web server.
if [ "${XG_ENDPOINT:-cgi}" = fcgi ]; then
  fault after-answer-began EAccessViolation "Access violation at address [0-9A-F]{8,16} in module 'xmlgateway(_faulty)?'\. Write of address 00000000"
fi

# A fault after the response went out leaves the answer the client got whole (the CGI program's
# case only: a FastCGI process's answer is still in its buffer then).
if [ "${XG_ENDPOINT:-cgi}" = cgi ]; then
  curl -s -m 120 -D "$state/after.head" -o "$state/after.body" -H "X-XG-Fault: after-response" \
    --data-urlencode "SENDDATA=$request" "$url" || fail "after-response: curl failed"
  tr -d '\r' <"$state/after.head" | head -n1 | grep -q '^HTTP/1.1 200 OK$' ||
    fail "after-response: status is $(head -n1 "$state/after.head")"
  tail -c 11 "$state/after.body" | grep -q '^</STATUS>' || fail "after-response: the document is cut"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures HTTP fault checks failed"
  exit 1
fi
echo "all HTTP fault checks passed"
