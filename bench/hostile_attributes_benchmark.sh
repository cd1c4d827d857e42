#!/usr/bin/env bash
# Requests of about 3 MB of attributes, answered by the gateway as a CGI process:
# - one element that carries them all (refused before the XML parser sees it; the parser alone
#   needs minutes for it, since it checks each attribute against all before it);
# - the same bytes spread over elements of 30 attributes each (refused too: the parser's name
#   table makes each of so many names cost more than the one before);
# - the largest kind of document that passes: elements of 32 attributes with long values,
#   parsed whole.
# Each should take well under a second.
#
#   bench/hostile_attributes_benchmark.sh [PROGRAM] [BYTES]
#
#   PROGRAM  the built gateway (default: build/xmlgateway)
#   BYTES    size of the attributes (default 3000000)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
program=${1:-$root/build/xmlgateway}
bytes=${2:-3000000}
[ -x "$program" ] || { echo "no gateway at $program: build it first" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (Debian package time)" >&2; exit 2; }

work=$(mktemp -d /tmp/xg-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
: >"$work/xmlgateway.conf"

# attributes PER-ELEMENT VALUE-BYTES: the document, its attributes in elements of PER-ELEMENT
# each (0: all on the root element), each value VALUE-BYTES long.
attributes() {
  awk -v bytes="$bytes" -v per="$1" -v size="$2" 'BEGIN {
    value = sprintf("%" size "s", ""); gsub(/ /, "v", value)
    printf "<?xml version=\"1.0\"?><SENDDATA"
    if (per > 0) printf "><X"
    for (i = 1; n < bytes; i++) {
      a = sprintf(" a%d=\"%s\"", i, value); printf "%s", a; n += length(a)
      if (per > 0 && i % per == 0) printf "/><X"
    }
    if (per > 0) printf "/"
    printf "><SERVICE>SERVICESTATUS</SERVICE></SENDDATA>"
  }'
}

run() {  # NAME PER-ELEMENT VALUE-BYTES
  attributes "$2" "$3" | base64 -w0 | sed 's/+/%2B/g; s/\//%2F/g; s/=/%3D/g; s/^/SENDDATA=/' >"$work/$1.body"
  /usr/bin/time -v -o "$work/$1.time" env -i REQUEST_METHOD=POST SERVER_PROTOCOL=HTTP/1.1 \
    CONTENT_LENGTH="$(stat -c %s "$work/$1.body")" XMLGATEWAY_CONF="$work/xmlgateway.conf" \
    "$program" <"$work/$1.body" >"$work/$1.out"
  local wall rss answer
  wall=$(awk -F': ' '/Elapsed \(wall clock\)/ {print $2}' "$work/$1.time")
  rss=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/$1.time")
  answer=$(grep -a -o '^<ERROR>\|^<STATUS>' "$work/$1.out" | head -n1)
  answer+=" $(grep -a -o -m1 'MSGDATA DATATYPE="STRING">[^<]*' "$work/$1.out" | cut -d'>' -f2)"
  printf '%-30s %s wall, %s KiB peak RSS, request %s bytes: %s\n' "$1" "$wall" "$rss" \
    "$(stat -c %s "$work/$1.body")" "${answer:0:110}"
}

run "one element, all of them" 0 0
run "elements of 30 each" 30 0
run "elements of 32, long values" 32 340
