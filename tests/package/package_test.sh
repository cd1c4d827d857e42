#!/usr/bin/env bash
# The Debian package as an operator uses it: built with scripts/package.sh, installed with
# apt-get, the Apache snippet enabled (mod_cgid) in an Apache instance of the test's own on a
# port of its own, with Debian's serve-cgi-bin configuration left enabled, then with the installed
# xmlgateway-client a status request, every database refused by the shipped configuration, and,
# once the test has listed them in it, a query on an embedded database in the package's data
# folder (created as www-data), a refused database name, and a statement and a query through the
# Firebird server. Installing alone publishes nothing: no file in /usr/lib/cgi-bin, nothing at
# /cgi-bin/xmlgateway. Then `apt-get remove` must leave nothing of the package but its conffile
# (and the data folder with its database), and `apt-get purge` nothing but the data folder with
# the database, which it names; a purge with an empty data folder leaves nothing at all.
# The same requests go through the mod_fcgid snippet too, which must answer the same rows.
# The Apache instance runs from a copy of /etc/apache2 in a temporary folder, so the system's
# Apache configuration is never changed; it is stopped at the end, and the package purged.
# Needs root, Debian's apache2, and the server's connection data in XG_FB_SERVER_HOST,
# XG_FB_SERVER_USER and XG_FB_SERVER_PASSWORD (scripts/test.sh sets them).
# Usage: package_test.sh
set -uo pipefail
export LC_ALL=C.UTF-8
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)

if [ "$(id -u)" -ne 0 ]; then
  echo "SKIP: installing a package needs root"
  exit 77
fi
for variable in XG_FB_SERVER_HOST XG_FB_SERVER_USER XG_FB_SERVER_PASSWORD; do
  if [ -z "${!variable:-}" ]; then
    echo "FAIL: $variable is not set; the package test needs the Firebird server" \
      "(eval \"\$(scripts/firebird-server.sh start)\")"
    exit 1
  fi
done
package_status() { dpkg-query -W -f='${Status}' xmlgateway 2>/dev/null; }
case "$(package_status)" in
  "" | *not-installed) ;;
  *)
    echo "FAIL: xmlgateway is installed here ($(package_status)); the test installs and purges it itself"
    exit 1
    ;;
esac
if [ -e /etc/xmlgateway ] || [ -e /var/lib/xmlgateway ]; then
  echo "FAIL: /etc/xmlgateway or /var/lib/xmlgateway is there already; the test would remove it"
  exit 1
fi

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

state=$(mktemp -d /tmp/xg-package.XXXXXX)
chmod 755 "$state"
installed=0
apache=""
cleanup() {
  if [ -n "$apache" ]; then
    APACHE_CONFDIR=$apache apache2ctl stop >/dev/null 2>&1
    for _ in $(seq 1 100); do [ -e "$state/run/apache2.pid" ] || break; sleep 0.1; done
  fi
  [ "$installed" -eq 1 ] && DEBIAN_FRONTEND=noninteractive apt-get purge -y -q xmlgateway >/dev/null 2>&1
  # The data folder a purge keeps holds the test's own database (the folder was not there before).
  rm -rf /var/lib/xmlgateway "$state"
}
trap cleanup EXIT
# Ended from outside (a time-out), the test still stops Apache and purges the package.
trap 'exit 143' TERM INT HUP

# --- Build and install.
deb=$("$root/scripts/package.sh" 2>"$state/build.log") || {
  cat "$state/build.log"
  echo "FAIL: the package does not build"
  exit 1
}
# The package's folders that are there before it: they stay when it goes.
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\.||; s|/$||' | grep -v '^$' >"$state/contents"
while read -r path; do [ -e "$path" ] && echo "$path"; done <"$state/contents" >"$state/existing"
installed=1
if ! DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$deb" >"$state/install.log" 2>&1; then
  cat "$state/install.log"
  echo "FAIL: apt-get install failed"
  exit 1
fi
[[ $(package_status) == "install ok installed" ]] || fail "package status after install: $(package_status)"
dpkg -L xmlgateway >"$state/listed"
for path in /usr/lib/xmlgateway/xmlgateway /usr/bin/xmlgateway-client /etc/xmlgateway/xmlgateway.conf \
  /usr/share/doc/xmlgateway/README.md /usr/share/man/man8/xmlgateway.8.gz \
  /usr/share/man/man1/xmlgateway-client.1.gz \
  /usr/share/doc/xmlgateway/examples/apache-cgi.conf /usr/share/doc/xmlgateway/examples/apache-fcgid.conf \
  /usr/share/doc/xmlgateway/examples/lighttpd.conf /usr/share/doc/xmlgateway/examples/nginx.conf \
  /lib/systemd/system/xmlgateway.socket /lib/systemd/system/xmlgateway.service \
  /etc/logrotate.d/xmlgateway; do
  grep -qxF "$path" "$state/listed" && [ -f "$path" ] || fail "not installed: $path"
done
# Debian's Apache and lighttpd serve every file of /usr/lib/cgi-bin: the package puts none there.
grep '^/usr/lib/cgi-bin/.' "$state/listed" && fail "the package installs into /usr/lib/cgi-bin"
[ -e /usr/lib/cgi-bin/xmlgateway ] && fail "/usr/lib/cgi-bin/xmlgateway is there after install"
dpkg-query -W -f='${Conffiles}\n' xmlgateway | grep -q '^ /etc/xmlgateway/xmlgateway.conf ' ||
  fail "the configuration file is no conffile"
dpkg-query -W -f='${Conffiles}\n' xmlgateway | grep -q '^ /etc/logrotate.d/xmlgateway ' ||
  fail "the logrotate file is no conffile"
[ "$(stat -c %U /var/log/xmlgateway 2>/dev/null)" = www-data ] ||
  fail "/var/log/xmlgateway is missing or not www-data's"
[ "$(man -w xmlgateway)" = /usr/share/man/man8/xmlgateway.8.gz ] || fail "man finds no xmlgateway(8)"
[ "$(man -w xmlgateway-client)" = /usr/share/man/man1/xmlgateway-client.1.gz ] ||
  fail "man finds no xmlgateway-client(1)"
for dir in /var/lib/xmlgateway/lock /var/lib/xmlgateway/data; do
  [ "$(stat -c %U:%G 2>/dev/null "$dir")" = www-data:www-data ] || fail "$dir is not www-data's"
done
[ "$(command -v xmlgateway-client)" = /usr/bin/xmlgateway-client ] || fail "xmlgateway-client is not on the PATH"
# The FastCGI units as systemd reads them (unknown keys, a program or man page that is not there).
if command -v systemd-analyze >/dev/null; then
  systemd-analyze verify /lib/systemd/system/xmlgateway.socket /lib/systemd/system/xmlgateway.service \
    >"$state/units.log" 2>&1 && [ ! -s "$state/units.log" ] || fail "systemd units: $(cat "$state/units.log")"
fi

# --- Apache with the snippet, on a port of its own (below 32768, where the kernel takes the local
# ports of outgoing connections; another port is tried when one is taken).
apache=$state/apache2
cp -a /etc/apache2 "$apache"
mkdir -p "$state/run" "$state/lock" "$state/log" "$state/apache-state"
cat >>"$apache/envvars" <<VARS
export APACHE_PID_FILE=$state/run/apache2.pid
export APACHE_RUN_DIR=$state/run
export APACHE_LOCK_DIR=$state/lock
export APACHE_LOG_DIR=$state/log
VARS
cp /usr/share/doc/xmlgateway/examples/apache-cgi.conf "$apache/conf-available/xmlgateway.conf"
cp /usr/share/doc/xmlgateway/examples/apache-fcgid.conf "$apache/conf-available/xmlgateway-fcgid.conf"
export APACHE_STATE_DIRECTORY=$state/apache-state
# Debian's serve-cgi-bin configuration (enabled by default) stays on: with mod_cgid it maps all
# of /cgi-bin/ to /usr/lib/cgi-bin, and the snippet must serve the gateway beside it.
if ! APACHE_CONFDIR=$apache a2enmod -q cgid >"$state/a2en.log" 2>&1 ||
  ! APACHE_CONFDIR=$apache a2enconf -q serve-cgi-bin >>"$state/a2en.log" 2>&1 ||
  ! APACHE_CONFDIR=$apache a2enconf -q xmlgateway >>"$state/a2en.log" 2>&1 ||
  ! APACHE_CONFDIR=$apache a2enmod -q fcgid >>"$state/a2en.log" 2>&1 ||
  ! APACHE_CONFDIR=$apache a2enconf -q xmlgateway-fcgid >>"$state/a2en.log" 2>&1; then
  cat "$state/a2en.log"
  echo "FAIL: the snippet cannot be enabled"
  exit 1
fi
started=0
for _ in 1 2 3; do
  port=$((20000 + RANDOM % 12000))
  printf 'Listen 127.0.0.1:%s\nServerName 127.0.0.1\n' "$port" >"$apache/ports.conf"
  if APACHE_CONFDIR=$apache apache2ctl start >"$state/apache.log" 2>&1; then
    started=1
    break
  fi
done
if [ "$started" -eq 0 ]; then
  cat "$state/apache.log" "$state/log/error.log" 2>/dev/null
  echo "FAIL: Apache does not start"
  exit 1
fi
cgi_url="http://127.0.0.1:$port/cgi/xmlgateway"
fcgi_url="http://127.0.0.1:$port/fcgi/xmlgateway"
url=$cgi_url
for _ in $(seq 1 100); do curl -s -o /dev/null "$url" && break; sleep 0.1; done

# run NAME EXIT-CODE ARGS...: the installed client, its output in $state/NAME.out and .err.
run() {
  local name=$1 code=$2
  shift 2
  xmlgateway-client --url "$url" --format csv "$@" </dev/null >"$state/$name.out" 2>"$state/$name.err"
  local got=$?
  [ "$got" -eq "$code" ] ||
    fail "$name: exit code $got instead of $code: $(head -c 400 "$state/$name.err") $(tail -n 5 "$state/log/error.log" 2>/dev/null)"
}
expect_out() { [ "$(cat "$state/$1.out")" = "$2" ] || fail "$1: output is"$'\n'"$(cat "$state/$1.out")"; }

# The status probe.
run status 0 status
sed -n 2p "$state/status.out" | grep -qE '^[^,]+,xmlgateway-client,Serviço em Operação,ABCDEFGHIJKLMNOPQRSTWVWXYZ,2147483647,' ||
  fail "status: values are $(cat "$state/status.out")"

# Nothing is published at /cgi-bin/xmlgateway, where Debian's configuration serves /usr/lib/cgi-bin.
code=$(curl -s -o /dev/null -w '%{http_code}' "http://127.0.0.1:$port/cgi-bin/xmlgateway")
[ "$code" = 404 ] || fail "/cgi-bin/xmlgateway answers HTTP status $code instead of 404"

# refused NAME DATABASE: the request is refused before any attach, by its database name (the
# ERROR document quotes the request after its message).
printf 'masterkey\n' >"$state/password"
refused() {
  run "$1" 5 query --db "$2" --user SYSDBA --password-file "$state/password" "select 1 from rdb\$database"
  [ "$(head -n1 "$state/$1.err")" = "xmlgateway-client: Acesso ao banco de dados não permitido: $2" ] ||
    fail "$1: error output is $(head -n1 "$state/$1.err")"
}
# The shipped configuration reaches nothing: the data folder, the Firebird server on this host
# under each of its names, any other file.
embedded=/var/lib/xmlgateway/data/demo.fdb
mkdir -p "$state/db"
chmod 777 "$state/db"  # the server's own user creates the database file
server_db=$XG_FB_SERVER_HOST:$state/db/server.fdb
for name in "$embedded" "localhost:$state/db/server.fdb" "127.0.0.1:$state/db/server.fdb" "$server_db" \
  /tmp/elsewhere.fdb; do
  refused "shipped_$(echo "$name" | tr -c 'a-zA-Z0-9\n' _)" "$name"
done

# The operator lists the data folder and the server's database, and enables "embedded".
conf=/etc/xmlgateway/xmlgateway.conf
sed -i "s|^allow =\$|allow = /var/lib/xmlgateway/data/*.fdb $server_db|" "$conf"
grep -qxF "allow = /var/lib/xmlgateway/data/*.fdb $server_db" "$conf" || fail "the conffile has no empty allow line to fill"
sed -i 's|^#embedded = /var/lib/xmlgateway/data/\*\.fdb$|embedded = /var/lib/xmlgateway/data/*.fdb|' "$conf"
grep -qx 'embedded = /var/lib/xmlgateway/data/\*\.fdb' "$conf" || fail "the conffile has no embedded line to enable"
refused refused /tmp/elsewhere.fdb

# An embedded database in the package's data folder, created by www-data with the lock folder
# the snippet names.
mkdir -p "$state/scripts"
cp "$root/scripts/create-demo-db.sh" "$root/scripts/demo_database.sql" "$state/scripts/"
chmod -R a+rX "$state/scripts"
(cd / && runuser -u www-data -- env FIREBIRD_LOCK=/var/lib/xmlgateway/lock \
  "$state/scripts/create-demo-db.sh" "$embedded") >"$state/create.log" 2>&1 ||
  fail "no demo database as www-data: $(cat "$state/create.log")"
# The gateway's engine keeps its locks where the snippet's FIREBIRD_LOCK says (no process has the
# database open now, so the folder can be emptied first).
find /var/lib/xmlgateway/lock -mindepth 1 -delete
run embedded 0 query --db "$embedded" --user SYSDBA --password-file "$state/password" "select * from products order by code"
expect_out embedded 'CODE,NAME,PRICE,NOTE
1,Coffee,12.5,"ground, 500 g"
2,Tea,7.9,
3,Sugar,4.25,refined'

[ -n "$(ls -A /var/lib/xmlgateway/lock)" ] || fail "the embedded engine kept no lock files in /var/lib/xmlgateway/lock"

# A statement and a query through the Firebird server, which checks the password.
isql_bin=$(command -v isql-fb || command -v isql)
printf "CREATE DATABASE '%s' USER '%s' PASSWORD '%s';\nCREATE TABLE NOTES (ID INTEGER NOT NULL PRIMARY KEY, TEXT VARCHAR(20));\nCOMMIT;\n" \
  "$server_db" "$XG_FB_SERVER_USER" "$XG_FB_SERVER_PASSWORD" | "$isql_bin" -q -bail >"$state/server.log" 2>&1 ||
  fail "no database on the server: $(cat "$state/server.log")"
printf '%s\n' "$XG_FB_SERVER_PASSWORD" >"$state/server_password"
server=(--db "$server_db" --user "$XG_FB_SERVER_USER" --password-file "$state/server_password")
run server_exec 0 exec "${server[@]}" "insert into notes (id, text) values (1, 'through Apache')"
expect_out server_exec $'MSGDATA\nOperação efetuada com sucesso'
run server_query 0 query "${server[@]}" "select * from notes"
expect_out server_query $'ID,TEXT\n1,through Apache'
printf 'wrong\n' >"$state/wrong_password"
run server_wrong 5 query --db "$server_db" --user "$XG_FB_SERVER_USER" --password-file "$state/wrong_password" "select * from notes"

# The same requests through the mod_fcgid snippet: FastCGI processes that stay for the next
# request, answering what the CGI program answered.
url=$fcgi_url
run fcgi_status 0 status
sed -n 2p "$state/fcgi_status.out" | grep -qE '^[^,]+,xmlgateway-client,Serviço em Operação,ABCDEFGHIJKLMNOPQRSTWVWXYZ,2147483647,' ||
  fail "FastCGI status: values are $(cat "$state/fcgi_status.out")"
run fcgi_embedded 0 query --db "$embedded" --user SYSDBA --password-file "$state/password" "select * from products order by code"
expect_out fcgi_embedded "$(cat "$state/embedded.out")"
run fcgi_server_query 0 query "${server[@]}" "select * from notes"
expect_out fcgi_server_query "$(cat "$state/server_query.out")"
url=$cgi_url
pgrep -u www-data -x xmlgateway >/dev/null || fail "no FastCGI process of the gateway stays after its requests"

APACHE_CONFDIR=$apache apache2ctl stop >/dev/null 2>&1
for _ in $(seq 1 100); do [ -e "$state/run/apache2.pid" ] || break; sleep 0.1; done
[ -e "$state/run/apache2.pid" ] && fail "Apache did not stop"
for _ in $(seq 1 100); do pgrep -u www-data -x xmlgateway >/dev/null || break; sleep 0.1; done
pgrep -u www-data -x xmlgateway >/dev/null && fail "a FastCGI process of the gateway outlives Apache"
apache=""

# --- Remove: nothing of the package is left but the conffile; the data folder keeps the
# database, the lock folder is gone.
if ! DEBIAN_FRONTEND=noninteractive apt-get remove -y -q xmlgateway >"$state/remove.log" 2>&1; then
  cat "$state/remove.log"
  fail "apt-get remove failed"
fi
[[ $(package_status) == "deinstall ok config-files" ]] || fail "package status after remove: $(package_status)"
while read -r path; do
  case $path in
    /etc/xmlgateway/xmlgateway.conf | /etc/xmlgateway | /etc/logrotate.d/xmlgateway)
      [ -e "$path" ] || fail "removed with the package: $path" ;;
    *) grep -qxF "$path" "$state/existing" || [ ! -e "$path" ] || fail "left after remove: $path" ;;
  esac
done <"$state/listed"
[ -f "$embedded" ] || fail "the database in the data folder went with remove"
[ -e /var/lib/xmlgateway/lock ] && fail "the lock folder is left after remove"

# --- Purge: nothing is left but the data folder with the database, which the purge names.
purge() {  # LOG
  if ! DEBIAN_FRONTEND=noninteractive apt-get purge -y -q xmlgateway >"$state/$1" 2>&1; then
    cat "$state/$1"
    fail "apt-get purge failed"
  fi
  installed=0
  case "$(package_status)" in "" | *not-installed) ;; *) fail "package status after purge: $(package_status)" ;; esac
  for path in /etc/xmlgateway /var/lib/xmlgateway/lock /var/log/xmlgateway /etc/logrotate.d/xmlgateway; do [ -e "$path" ] && fail "left after purge: $path"; done
  while read -r path; do
    grep -qxF "$path" "$state/existing" || [ ! -e "$path" ] || fail "left after purge: $path"
  done <"$state/listed"
}
purge purge.log
[ -f "$embedded" ] || fail "the database in the data folder went with purge"
grep -q "/var/lib/xmlgateway/data is not empty and is kept" "$state/purge.log" ||
  fail "the purge does not say where the database is kept: $(cat "$state/purge.log")"
[ "$(ls -A /var/lib/xmlgateway)" = data ] || fail "left after purge in /var/lib/xmlgateway: $(ls -A /var/lib/xmlgateway)"

# --- Installed again over the kept, now empty, data folder and purged: nothing at all is left.
rm -f "$embedded"
installed=1
if ! DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$deb" >"$state/install2.log" 2>&1; then
  cat "$state/install2.log"
  fail "apt-get install over the kept data folder failed"
fi
purge purge2.log
[ -e /var/lib/xmlgateway ] && fail "left after purge with an empty data folder: /var/lib/xmlgateway"
grep -q "is kept" "$state/purge2.log" && fail "the purge of an empty data folder says it keeps it"

if [ "$failures" -eq 0 ]; then
  echo "package: built, installed, served through Apache (mod_cgid and mod_fcgid), removed and purged twice"
  exit 0
fi
echo "$failures failures"
exit 1
