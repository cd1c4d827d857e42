#!/usr/bin/env bash
# Installs what the gateway, its tests and its benchmarks need on a Debian 12 machine, and sets
# Firebird up so that several processes can open the same embedded database at once.
# Safe to run again: it installs only what is missing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config clang libclang-rt-14-dev
  libxml2-dev libgtest-dev googletest
  firebird3.0-server firebird3.0-server-core firebird3.0-utils firebird-dev libfbclient2
  libcurl4-openssl-dev
  nginx spawn-fcgi wrk nodejs
  lighttpd curl faketime locales time procps iproute2 python3 util-linux
  apache2 libapache2-mod-fcgid
)

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# npm comes with some builds of the nodejs package, and as a package of its own with Debian's.
command -v npm >/dev/null || missing+=(npm)
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

# The Brazilian Portuguese texts are tested against a real locale.
if ! locale -a 2>/dev/null | grep -qi '^pt_BR\.utf-\?8$'; then
  as_root localedef -i pt_BR -f UTF-8 pt_BR.UTF-8
fi
