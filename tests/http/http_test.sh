#!/usr/bin/env bash
# The gateway served by lighttpd: requests over HTTP with curl, answers checked byte for byte
# where they are fixed and line by line where they carry the clock.
# Usage: http_test.sh PROGRAM (XG_ENDPOINT chooses the endpoint: see support/gateway_server.sh)
set -uo pipefail
program=$1
here=$(cd "$(dirname "$0")" && pwd)
state=$(mktemp -d /tmp/xg-http.XXXXXX)
# Below 32768, where the kernel takes the local ports of outgoing connections: no client
# connection of another test can hold it.
port=$((20000 + RANDOM % 12000))
printf '[limits]\nmax-request-bytes = 8M\n' >"$state/xmlgateway.conf"
# shellcheck source=../support/gateway_server.sh
source "$here/../support/gateway_server.sh"
trap 'stop_gateway_server; rm -rf "$state"' EXIT
start_gateway_server "$state" "$port" "$program" "$state/xmlgateway.conf"
url=$gateway_url

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
b64() { printf '%s' "$1" | base64 -w0; }

# post NAME CURL-ARGS...: the answer's status line, headers and body go to $state/NAME.*
post() {
  local name=$1
  shift
  curl -s -m 120 -D "$state/$name.head" -o "$state/$name.body" "$@" "$url" ||
    fail "$name: curl failed"
  tr -d '\r' <"$state/$name.head" | head -n1 | grep -q '^HTTP/1.1 200 OK$' ||
    fail "$name: status is $(head -n1 "$state/$name.head")"
  [ -s "$state/$name.body" ] || fail "$name: empty body"
}

# expect_error NAME MESSAGE-START: an ERROR document whose message begins as given.
expect_error() {
  local body=$state/$1.body
  sed -n 2p "$body" | grep -q $'^<ERROR>\r$' || fail "$1: not an ERROR document: $(head -c 200 "$body")"
  grep -aqF " <MSGDATA DATATYPE=\"STRING\">$2" "$body" || fail "$1: message is not '$2...': $(sed -n 4p "$body")"
}

status_request='<?xml version="1.0"?><SENDDATA><SERVICE>SERVICESTATUS</SERVICE></SENDDATA>'
post status -A "probe/1.0" --data-urlencode "SENDDATA=$(b64 "$status_request")"
body=$state/status.body
[ "$(wc -l <"$body")" -eq 15 ] || fail "status: $(wc -l <"$body") lines instead of 15"
[ "$(grep -c $'\r$' "$body")" -eq 15 ] || fail "status: not every line ends in CR LF"
expected_lines=(
  '<?xml version="1.0" encoding="ISO-8859-1"?>'
  '<STATUS>'
  ''
  ' <AGENT DATATYPE="STRING">probe/1.0</AGENT>'
  $' <MSGDATA DATATYPE="STRING">Servi\xe7o em Opera\xe7\xe3o</MSGDATA>'
  '<DATATYPES>'
  ' <STRING DATATYPE="STRING">ABCDEFGHIJKLMNOPQRSTWVWXYZ</STRING>'
  ' <INTEGER DATATYPE="INTEGER">2147483647</INTEGER>'
  ' <BOOLEAN DATATYPE="BOOLEAN">True</BOOLEAN>'
  ' <FLOAT DATATYPE="FLOAT">1.7E308</FLOAT>'
)
for i in "${!expected_lines[@]}"; do
  [ -z "${expected_lines[$i]}" ] && continue
  line=$(sed -n "$((i + 1))p" "$body" | tr -d '\r')
  [ "$line" = "${expected_lines[$i]}" ] || fail "status line $((i + 1)): '$line'"
done
grep -aqE '^ <DATE DATATYPE="DATE">[0-9]{1,2}/[0-9]{1,2}/[0-9]{2}</DATE>'$'\r''$' "$body" ||
  fail "status: DATE line is not m/d/yy"
grep -aqE '^ <TIME DATATYPE="TIME">[0-9]{1,2}:[0-9]{2}:[0-9]{2} (am|pm)</TIME>'$'\r''$' "$body" ||
  fail "status: TIME line is not h:mm:ss am/pm"
grep -aqi '^Content-Type: text/html' "$state/status.head" || fail "status: content type"
length=$(tr -d '\r' <"$state/status.head" | sed -n 's/^Content-Length: //Ip')
[ "$length" = "$(wc -c <"$body")" ] || fail "status: Content-Length $length for $(wc -c <"$body") bytes"

# The two lines that keep a browser from running an answer, one after the other.
tr -d '\r' <"$state/status.head" | tr '\n' '|' |
  grep -q '|Content-Security-Policy: sandbox|X-Content-Type-Options: nosniff|' ||
  fail "status: no sandbox and nosniff lines: $(tr -d '\r' <"$state/status.head" | tr '\n' '|')"

post badescape --data-binary 'SENDDATA=%G1'
expect_error badescape 'Invalid URL encoded character (%G1) at position 10'
post shortescape --data-binary 'SENDDATA=%4'
expect_error shortescape 'Error decoding URL style (%XX) encoded string at position 10'
post badbase64 --data-binary 'SENDDATA=QUJDR'
expect_error badbase64 'Uneven size in DecodeToStream.'
post notxml --data-urlencode "SENDDATA=$(b64 'this is not XML')"
expect_error notxml ''
post wrongroot --data-urlencode "SENDDATA=$(b64 '<?xml version="1.0"?><OTHER><SERVICE>SERVICESTATUS</SERVICE></OTHER>')"
expect_error wrongroot $'Elemento SENDDATA n\xe3o encontrado'
post unknownservice --data-urlencode "SENDDATA=$(b64 '<?xml version="1.0"?><SENDDATA><SERVICE>SERVICESTATUSX</SERVICE></SENDDATA>')"
expect_error unknownservice 'XML de entrada mal formatada'
post errorservice --data-urlencode "SENDDATA=$(b64 '<?xml version="1.0"?><SENDDATA><SERVICE>SERVICEERROR</SERVICE></SENDDATA>')"
expect_error errorservice 'Erro desconhecido'
post emptybody -X POST --data-binary ''
expect_error emptybody ''
curl -s -m 120 -D "$state/get.head" -o "$state/get.body" "$url?SENDDATA=$(b64 "$status_request")" || fail "get: curl failed"
expect_error get ''
head -c 4096 /dev/urandom >"$state/garbage.bin"
post garbage --data-binary "@$state/garbage.bin"
expect_error garbage ''

# Hostile XML: neither an external entity nor an entity bomb is resolved or expanded.
secret=$state/secret.txt
echo "TOP-SECRET-CONTENT" >"$secret"
xxe="<?xml version=\"1.0\"?><!DOCTYPE SENDDATA [<!ENTITY x SYSTEM \"file://$secret\">]><SENDDATA><SERVICE>&x;</SERVICE></SENDDATA>"
post xxe --data-urlencode "SENDDATA=$(b64 "$xxe")"
expect_error xxe 'Element does not contain a single text node'
grep -aq 'TOP-SECRET-CONTENT' "$state/xxe.body" && fail "xxe: file content in the answer"
bomb='<?xml version="1.0"?><!DOCTYPE SENDDATA [<!ENTITY a "aaaaaaaaaa"><!ENTITY b "&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;"><!ENTITY c "&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;"><!ENTITY d "&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;"><!ENTITY e "&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;"><!ENTITY f "&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;"><!ENTITY g "&f;&f;&f;&f;&f;&f;&f;&f;&f;&f;"><!ENTITY h "&g;&g;&g;&g;&g;&g;&g;&g;&g;&g;">]><SENDDATA><SERVICE>&h;</SERVICE></SENDDATA>'
post bomb --data-urlencode "SENDDATA=$(b64 "$bomb")"
expect_error bomb ''
[ "$(wc -c <"$state/bomb.body")" -lt 100000 ] || fail "bomb: the entity was expanded"

# An ERROR document that echoes markup is still sent as a sandboxed, never sniffed, document.
post script --data-urlencode "SENDDATA=$(b64 '<script>alert(1)</script>')"
grep -qi '^Content-Security-Policy: sandbox' "$state/script.head" || fail "script: no sandbox line"
grep -qi '^X-Content-Type-Options: nosniff' "$state/script.head" || fail "script: no nosniff line"

# A body claimed above max-request-bytes (8M here): the failure page at once, with the two lines,
# though not one byte of the claimed 2 GiB follows.
printf 'SENDDATA=abc' | curl -s -m 60 -D "$state/huge.head" -o "$state/huge.body" \
  -H 'Content-Length: 2147483648' --data-binary @- "$url" || fail "huge: no answer within 60 s"
tr -d '\r' <"$state/huge.head" | head -n1 | grep -q '^HTTP/1.1 500 ' || fail "huge: status $(head -n1 "$state/huge.head")"
grep -q 'Message: Request body of 2147483648 bytes is larger than max-request-bytes (8388608 bytes)<br>' \
  "$state/huge.body" || fail "huge: $(cat "$state/huge.body")"
grep -qi '^Content-Security-Policy: sandbox' "$state/huge.head" || fail "huge: no sandbox line"
grep -qi '^X-Content-Type-Options: nosniff' "$state/huge.head" || fail "huge: no nosniff line"

# Three megabytes of attributes on the root element: refused before the parser sees them.
attributes=$(seq 1 300000 | sed 's/.*/ a&=""/' | tr -d '\n' | head -c 3000000)
printf '%s' "<?xml version=\"1.0\"?><SENDDATA$attributes><SERVICE>SERVICESTATUS</SERVICE></SENDDATA>" |
  base64 -w0 | sed 's/^/SENDDATA=/; s/+/%2B/g; s/\//%2F/g; s/=/%3D/g; s/^SENDDATA%3D/SENDDATA=/' >"$state/attributes.form"
post attributes -H 'Expect:' --data-binary "@$state/attributes.form"
expect_error attributes 'An element of the document could have more than 32 attributes'

if [ "$failures" -ne 0 ]; then
  echo "$failures HTTP checks failed"
  exit 1
fi
echo "all HTTP checks passed"
