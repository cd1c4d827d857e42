#!/usr/bin/env bash
# Writes a lighttpd configuration that serves the gateway as a CGI program at
# http://127.0.0.1:PORT/cgi-bin/xmlgateway.
# Usage: write-lighttpd-conf.sh STATE_DIR PORT PROGRAM [LANG]
#   STATE_DIR  folder for the configuration, the document root and the server's logs
#   PROGRAM    the built gateway executable (linked into the document root's cgi-bin)
#   LANG       the locale the gateway runs with (the web server hands it to the CGI program)
# Prints the configuration's path.
set -euo pipefail
state=$(mkdir -p "$1" && cd "$1" && pwd)
port=$2
program=$(cd "$(dirname "$3")" && pwd)/$(basename "$3")
lang=${4:-C}

mkdir -p "$state/www/cgi-bin"
ln -sf "$program" "$state/www/cgi-bin/xmlgateway"
cat >"$state/lighttpd.conf" <<CONF
server.bind = "127.0.0.1"
server.port = $port
server.document-root = "$state/www"
server.errorlog = "$state/error.log"
server.pid-file = "$state/lighttpd.pid"
server.modules = ("mod_cgi", "mod_setenv")
server.max-connections = 256
# A gateway process that gets no answer from a frozen database server would wait for ever: the
# web server ends a CGI program that writes nothing for two minutes.
\$HTTP["url"] =~ "^/cgi-bin/" {
  cgi.assign = ("" => "")
  cgi.limits = ("read-timeout" => 120)
}
setenv.add-environment = ("LANG" => "$lang")
CONF
echo "$state/lighttpd.conf"
