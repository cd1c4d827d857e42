#!/usr/bin/env bash
# Writes a lighttpd configuration that serves the gateway as a CGI program at
# http://127.0.0.1:PORT/cgi-bin/xmlgateway and as a FastCGI responder at
# http://127.0.0.1:PORT/fcgi/xmlgateway (XG_FCGI_PROCS processes, default 2, that lighttpd starts
# itself on a Unix socket in STATE_DIR/fcgi; 0 serves no FastCGI endpoint).
# Usage: write-lighttpd-conf.sh STATE_DIR PORT PROGRAM [LANG [GATEWAY_CONF [USER]]]
#   STATE_DIR     folder for the configuration, the document root and the server's logs
#   PROGRAM       the built gateway executable (linked into the document root's cgi-bin)
#   LANG          the locale the gateway runs with (the web server hands it to the CGI program)
#   GATEWAY_CONF  the gateway's xmlgateway.conf, handed to it as XMLGATEWAY_CONF (none: the
#                 gateway reads /etc/xmlgateway/xmlgateway.conf if there is one)
#   USER          the user the web server, and so the gateway, runs as once it has started
#                 (for a server started as root)
# XG_GATEWAY_ENV: further NAME=VALUE words of the gateway's environment, for both endpoints.
# Prints the configuration's path.
set -euo pipefail
state=$(mkdir -p "$1" && cd "$1" && pwd)
port=$2
program=$(cd "$(dirname "$3")" && pwd)/$(basename "$3")
lang=${4:-C}
gateway_conf=${5:-}
user=${6:-}

mkdir -p "$state/www/cgi-bin"
ln -sf "$program" "$state/www/cgi-bin/xmlgateway"
cat >"$state/lighttpd.conf" <<CONF
server.bind = "127.0.0.1"
server.port = $port
server.document-root = "$state/www"
server.errorlog = "$state/error.log"
server.pid-file = "$state/lighttpd.pid"
server.modules = ("mod_cgi", "mod_setenv", "mod_fastcgi")
server.max-connections = 256
# A gateway process that gets no answer from a frozen database server would wait for ever: the
# web server ends a CGI program that writes nothing for two minutes.
\$HTTP["url"] =~ "^/cgi-bin/" {
  cgi.assign = ("" => "")
  cgi.limits = ("read-timeout" => 120)
}
# Request bodies go to the gateway as they arrive: it decides at once about a length above its
# limit instead of waiting for the web server to have the whole body.
server.stream-request-body = 2
CONF
environment="\"LANG\" => \"$lang\""
[ -n "$gateway_conf" ] && environment+=", \"XMLGATEWAY_CONF\" => \"$gateway_conf\""
for word in ${XG_GATEWAY_ENV:-}; do environment+=", \"${word%%=*}\" => \"${word#*=}\""; done
echo "setenv.add-environment = ($environment)" >>"$state/lighttpd.conf"
# The FastCGI processes read their environment once, when lighttpd starts them; lighttpd makes
# their socket once it runs as USER.
mkdir -p "$state/fcgi"
[ -n "$user" ] && chown "$user" "$state/fcgi"
[ "${XG_FCGI_PROCS:-2}" -gt 0 ] && cat >>"$state/lighttpd.conf" <<CONF
fastcgi.server = ("/fcgi/xmlgateway" => ((
  "socket" => "$state/fcgi/xmlgateway.sock",
  "bin-path" => "$program",
  "max-procs" => ${XG_FCGI_PROCS:-2},
  "bin-environment" => ($environment),
  "check-local" => "disable",
)))
CONF
if [ -n "$user" ]; then
  printf 'server.username = "%s"\nserver.groupname = "%s"\n' "$user" "$(id -gn "$user")" >>"$state/lighttpd.conf"
fi
echo "$state/lighttpd.conf"
