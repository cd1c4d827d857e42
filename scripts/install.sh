#!/usr/bin/env bash
# Installs what the gateway needs on a Debian 12 machine, and sets Firebird up so that several
# processes can open the same embedded database at once.
# Usage: install.sh [serve|test]
#   serve  what scripts/run.sh needs to build the gateway and its client and serve them: the
#          compiler and CMake, the libraries they link, the embedded engine and isql-fb for the
#          demo database, lighttpd, and the locales
#   test   (the default) all of that, and what the tests, the fuzzing and the benchmarks need: the
#          Firebird server, GoogleTest, clang, Apache, nginx, wrk, Node, ...
# Safe to run again: it installs only what is missing.
set -euo pipefail
set_name=${1:-test}

serve_packages=(
  build-essential cmake pkg-config
  libxml2-dev libcurl4-openssl-dev
  firebird3.0-server-core firebird3.0-utils firebird-dev libfbclient2
  lighttpd locales
)
test_packages=(
  clang libclang-rt-14-dev
  libgtest-dev googletest
  firebird3.0-server
  nginx spawn-fcgi wrk nodejs
  curl faketime time procps iproute2 python3 util-linux
  apache2 libapache2-mod-fcgid
)
case $set_name in
  serve) packages=("${serve_packages[@]}") ;;
  test) packages=("${serve_packages[@]}" "${test_packages[@]}") ;;
  *)
    echo "usage: $0 [serve|test]" >&2
    exit 2
    ;;
esac

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# npm comes with some builds of the nodejs package, and as a package of its own with Debian's.
if [ "$set_name" = test ] && ! command -v npm >/dev/null; then missing+=(npm); fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  as_root apt-get update
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi

# The package test runs an Apache instance of its own; the system's Apache service, which the
# apache2 package may have started on port 80, is not needed.
if [[ " ${missing[*]} " == *" apache2 "* ]] && [ -d /run/systemd/system ]; then
  as_root systemctl disable --now apache2 >/dev/null 2>&1 || true
fi

# Several gateway processes open the same embedded database at once: the engine must share
# its page cache and locks between processes.
conf=/etc/firebird/3.0/firebird.conf
if ! grep -q '^ServerMode = SuperClassic' "$conf"; then
  as_root sed -i -e '/^ServerMode *=/d' "$conf"
  echo 'ServerMode = SuperClassic' | as_root tee -a "$conf" >/dev/null
fi

# The Brazilian Portuguese texts are served and tested with a real locale.
if ! locale -a 2>/dev/null | grep -qi '^pt_BR\.utf-\?8$'; then
  as_root localedef -i pt_BR -f UTF-8 pt_BR.UTF-8
fi
