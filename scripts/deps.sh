#!/usr/bin/env bash
# Installs the Debian packages a task needs, only those that are missing.
# Usage: scripts/deps.sh build|test|run|bench|arm|static
# arm and static (the static device build) also make SQLite's amalgamation
# from Debian's source package (scripts/sqlite-src.sh, cached).
set -euo pipefail

build=(build-essential cmake pkg-config libjson-c-dev libsqlite3-dev zlib1g-dev libssl-dev)
# The ARM board's build: the cross compilers, the board's libraries from
# Debian's armhf port, and user-mode emulation to run the result here.
cross=(g++-arm-linux-gnueabihf libjson-c-dev:armhf libsqlite3-dev:armhf zlib1g-dev:armhf libssl-dev:armhf)
# unzip unpacks the OEM package on the device; openssl builds the tests' packages;
# lighttpd's TLS module serves the certificate the local device installs;
# chromium runs the console page's browser test.
case "${1:-build}" in
  build) want=("${build[@]}") ;;
  test)  want=("${build[@]}" libgtest-dev ffmpeg lighttpd lighttpd-mod-openssl curl python3 sqlite3 net-tools unzip openssl chromium clang libclang-rt-dev) ;;
  run)   want=("${build[@]}" lighttpd lighttpd-mod-openssl curl ffmpeg net-tools unzip) ;;
  bench) want=("${build[@]}" "${cross[@]}" tcl lighttpd lighttpd-mod-openssl curl ffmpeg hyperfine time valgrind unzip) ;;
  arm)   want=(cmake pkg-config "${cross[@]}" tcl libgtest-dev:armhf qemu-user ffmpeg lighttpd lighttpd-mod-openssl curl python3 sqlite3 net-tools unzip openssl) ;;
  static) want=("${build[@]}" tcl) ;;
  *) echo "usage: $0 build|test|run|bench|arm|static" >&2; exit 2 ;;
esac
make_sqlite() {
  case "${1:-build}" in
    arm|static|bench) "$(dirname "$0")/sqlite-src.sh" >/dev/null ;;
  esac
}

missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  make_sqlite "${1:-build}"
  exit 0
fi

echo "installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
# lighttpd's package would start a system service on port 80; we run our own.
if [ ! -e /usr/sbin/policy-rc.d ]; then
  printf '#!/bin/sh\nexit 101\n' | $sudo tee /usr/sbin/policy-rc.d >/dev/null
  $sudo chmod +x /usr/sbin/policy-rc.d
  trap '$sudo rm -f /usr/sbin/policy-rc.d' EXIT
fi
for p in "${missing[@]}"; do
  case "$p" in
    *:armhf) dpkg --print-foreign-architectures | grep -qx armhf || $sudo dpkg --add-architecture armhf; break ;;
  esac
done
$sudo apt-get update -qq || true
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
make_sqlite "${1:-build}"
