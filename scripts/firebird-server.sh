#!/usr/bin/env bash
# Starts or stops the local Firebird server (127.0.0.1:3050) for the tests that must check a
# password. `start` prints shell assignments of the connection data for the tests:
#   eval "$(scripts/firebird-server.sh start)"
set -euo pipefail
as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

password_file=/etc/firebird/3.0/SYSDBA.password
security_db=/var/lib/firebird/3.0/system/security3.fdb

wait_for_port() {
  for _ in $(seq 1 100); do
    if (exec 3<>/dev/tcp/127.0.0.1/3050) 2>/dev/null; then return 0; fi
    sleep 0.1
  done
  echo "the Firebird server does not answer on 127.0.0.1:3050" >&2
  return 1
}

sysdba_password() {
  local password=""
  if [ -r "$password_file" ]; then
    password=$(. "$password_file" >/dev/null 2>&1; echo "${ISC_PASSWORD:-}")
  fi
  if [ -z "$password" ]; then
    # No password was set at install time: set one through the embedded security database.
    password=xgtest$$
    echo "create or alter user SYSDBA password '$password' using plugin Srp; commit;" |
      as_root isql-fb -q -user SYSDBA "$security_db" >&2
    printf 'ISC_USER=sysdba\nISC_PASSWORD="%s"\n' "$password" | as_root tee "$password_file" >/dev/null
  fi
  echo "$password"
}

case "${1:-}" in
  start)
    as_root service firebird3.0 restart >&2 || as_root /etc/init.d/firebird3.0 restart >&2
    wait_for_port
    echo "export XG_FB_SERVER_HOST=127.0.0.1"
    echo "export XG_FB_SERVER_USER=SYSDBA"
    echo "export XG_FB_SERVER_PASSWORD='$(sysdba_password)'"
    ;;
  stop)
    as_root service firebird3.0 stop >&2 || true
    ;;
  *)
    echo "usage: $0 start|stop" >&2
    exit 2
    ;;
esac
