# The web server of an HTTP test, for the endpoint that XG_ENDPOINT names:
#   cgi (the default)  lighttpd runs the gateway as a CGI program at /cgi-bin/xmlgateway
#   fcgi               lighttpd starts FastCGI processes of the gateway itself, at /fcgi/xmlgateway
#   nginx              nginx passes /fcgi/xmlgateway to a gateway started as
#                      `PROGRAM --fastcgi SOCKET` (a supervisor and its workers, as under systemd),
#                      keeping its connections open for further requests
# Sourced by the tests. start_gateway_server STATE PORT PROGRAM [GATEWAY_CONF]: writes the
# configuration into STATE, starts the servers (their standard output and error, the gateway's
# included, appended to STATE/server.out), waits until they answer and sets gateway_url and
# gateway_pids. stop_gateway_server ends them. XG_GATEWAY_ENV (NAME=VALUE words) is added to the
# gateway's environment.
gateway_server_scripts=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../scripts" && pwd)
gateway_pids=""

start_gateway_server() {
  local state=$1 port=$2 program=$3 gateway_conf=${4:-} conf
  case ${XG_ENDPOINT:-cgi} in
    cgi | fcgi)
      conf=$("$gateway_server_scripts/write-lighttpd-conf.sh" "$state" "$port" "$program" C "$gateway_conf")
      lighttpd -D -f "$conf" >>"$state/server.out" 2>&1 &
      gateway_pids=$!
      if [ "${XG_ENDPOINT:-cgi}" = cgi ]; then
        gateway_url="http://127.0.0.1:$port/cgi-bin/xmlgateway"
      else
        gateway_url="http://127.0.0.1:$port/fcgi/xmlgateway"
      fi
      ;;
    nginx)
      mkdir -p "$state/nginx"
      cat >"$state/nginx.conf" <<CONF
daemon off;
user root;
worker_processes 1;
pid $state/nginx/nginx.pid;
error_log $state/nginx/error.log;
events { worker_connections 512; }
http {
  access_log off;
  client_body_temp_path $state/nginx/body;
  fastcgi_temp_path $state/nginx/fastcgi;
  proxy_temp_path $state/nginx/proxy;
  uwsgi_temp_path $state/nginx/uwsgi;
  scgi_temp_path $state/nginx/scgi;
  # The gateway decides about the size of a request, and gets its body as it arrives.
  client_max_body_size 0;
  upstream gateway {
    server unix:$state/xmlgateway.sock;
    keepalive 4;
    # Shorter than the gateway's read-timeout-seconds, as the package's snippet has it.
    keepalive_timeout 20s;
  }
  server {
    listen 127.0.0.1:$port;
    location = /fcgi/xmlgateway {
      include /etc/nginx/fastcgi_params;
      fastcgi_request_buffering off;
      fastcgi_read_timeout 120s;
      fastcgi_keep_conn on;
      fastcgi_pass gateway;
    }
  }
}
CONF
      # shellcheck disable=SC2086
      env LANG=C ${gateway_conf:+XMLGATEWAY_CONF=$gateway_conf} ${XG_GATEWAY_ENV:-} \
        "$program" --fastcgi "$state/xmlgateway.sock" </dev/null >>"$state/server.out" 2>&1 &
      gateway_pids=$!
      # nginx answers 502 until the gateway listens; a slow start (a sanitizer build) must not
      # look like a failed request.
      for _ in $(seq 1 300); do [ -S "$state/xmlgateway.sock" ] && break; sleep 0.1; done
      nginx -c "$state/nginx.conf" -e "$state/nginx/error.log" >>"$state/server.out" 2>&1 &
      gateway_pids+=" $!"
      gateway_url="http://127.0.0.1:$port/fcgi/xmlgateway"
      ;;
    *)
      echo "unknown XG_ENDPOINT ${XG_ENDPOINT}" >&2
      return 1
      ;;
  esac
  for _ in $(seq 1 300); do gateway_server_answers && break; sleep 0.1; done
}

# True once the web server answers with something other than its own "no gateway yet" pages
# (lighttpd's 503 while it spawns FastCGI processes, nginx's 502 before the socket listens).
gateway_server_answers() {
  local code
  code=$(curl -s -o /dev/null -w '%{http_code}' "$gateway_url") || return 1
  case $code in 000 | 502 | 503 | 504) return 1 ;; esac
}

stop_gateway_server() {
  [ -n "$gateway_pids" ] || return 0
  # shellcheck disable=SC2086
  kill $gateway_pids 2>/dev/null
  # shellcheck disable=SC2086
  wait $gateway_pids 2>/dev/null
  gateway_pids=""
}
