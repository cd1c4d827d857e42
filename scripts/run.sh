#!/usr/bin/env bash
# Installs what serving needs (scripts/install.sh serve), builds the gateway and its client (no
# tests), creates the embedded demo database and serves the gateway at
# http://127.0.0.1:8080/cgi-bin/xmlgateway (a CGI program) and at
# http://127.0.0.1:8080/fcgi/xmlgateway (FastCGI processes that lighttpd starts) through lighttpd,
# in the foreground.
# Started as root, the web server (and so every gateway process) runs as www-data, which owns
# the demo database. The gateway's configuration, run/xmlgateway.conf, lists the demo database
# under "embedded": the engine inside the gateway opens it, and checks no password. Every other
# database name without a host goes to the Firebird server on this host, when there is one
# (scripts/install.sh serve installs none; scripts/test.sh does).
# XG_PORT and LANG (the locale the gateway runs with) may be set by the caller.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install.sh" serve
# The gateway and its client only: the tests are built by scripts/test.sh (or scripts/build.sh).
cmake -S "$root" -B "$root/build" -DXG_BUILD_TESTS=OFF >/dev/null
cmake --build "$root/build" -j"$(nproc)" --target xmlgateway xmlgateway-client
state=$root/run
mkdir -p "$state"
if [ -x "$root/scripts/create-demo-db.sh" ]; then
  "$root/scripts/create-demo-db.sh" "$state/demo.fdb"
fi

user=""
[ "$(id -u)" -eq 0 ] && user=www-data
# The embedded engine's lock files: a folder of the serving user's own (the system's is open
# only to the Firebird server's user).
mkdir -p "$state/lock"
if [ -n "$user" ]; then
  # The web server opens its log after it has become that user.
  touch "$state/error.log"
  chown "$user:$(id -gn "$user")" "$state/demo.fdb" "$state/lock" "$state/error.log"
  chmod 660 "$state/demo.fdb"
fi

cat >"$state/xmlgateway.conf" <<CONF
# Written by scripts/run.sh. The keys are described in the README.
[databases]
allow = *
embedded = $state/demo.fdb
CONF
chmod 644 "$state/xmlgateway.conf"

conf=$(XG_GATEWAY_ENV="FIREBIRD_LOCK=$state/lock" "$root/scripts/write-lighttpd-conf.sh" "$state" "${XG_PORT:-8080}" "$root/build/xmlgateway" \
  "${LANG:-C}" "$state/xmlgateway.conf" "$user")
echo "serving http://127.0.0.1:${XG_PORT:-8080}/cgi-bin/xmlgateway and /fcgi/xmlgateway${user:+ as $user} (Ctrl-C stops)"
exec lighttpd -D -f "$conf"
