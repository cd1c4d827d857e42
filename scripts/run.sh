#!/usr/bin/env bash
# Installs what is needed, builds the gateway, creates the embedded demo database and serves the
# gateway at http://127.0.0.1:8080/cgi-bin/xmlgateway through lighttpd, in the foreground.
# XG_PORT and LANG (the locale the gateway runs with) may be set by the caller.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install.sh"
"$root/scripts/build.sh" "$root/build"
state=$root/run
mkdir -p "$state"
if [ -x "$root/scripts/create-demo-db.sh" ]; then
  "$root/scripts/create-demo-db.sh" "$state/demo.fdb"
fi
conf=$("$root/scripts/write-lighttpd-conf.sh" "$state" "${XG_PORT:-8080}" "$root/build/xmlgateway" "${LANG:-C}")
echo "serving http://127.0.0.1:${XG_PORT:-8080}/cgi-bin/xmlgateway (Ctrl-C stops)"
exec lighttpd -D -f "$conf"
