#!/usr/bin/env bash
# SQLite for the static device build, from Debian's own `sqlite3` source
# package: fetches the source of the installed libsqlite3-dev version and
# generates the amalgamation with the compile-time options of
# cmake/sqlite-options.txt, the documented way (configure, then
# `make OPTS=... sqlite3.c`, which runs lemon, mkkeywordhash and tclsh), so
# that the SQLITE_OMIT_* options that change the parser take effect.
# Prints the directory holding sqlite3.c and sqlite3.h.
#   scripts/sqlite-src.sh [CACHE_DIR]
# CACHE_DIR defaults to $NVRWEB_CACHE or ~/.cache/nvrweb; a rerun with the
# same version and options prints the cached directory at once.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cache=${1:-${NVRWEB_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/nvrweb}}
options_file="$top/cmake/sqlite-options.txt"
opts=$(grep -o '^-D[^[:space:]]*' "$options_file" | tr '\n' ' ' | sed 's/ $//')

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
version=$(dpkg-query -W -f='${Version}' "libsqlite3-dev:$(dpkg --print-architecture)" 2>/dev/null || true)
if [ -z "$version" ]; then
  "$top/scripts/deps.sh" build >&2
  version=$(dpkg-query -W -f='${Version}' "libsqlite3-dev:$(dpkg --print-architecture)")
fi
key=$(printf '%s\n%s\n' "$version" "$opts" | sha256sum | cut -c1-12)
out="$cache/sqlite3-${version//[:+~]/_}-$key"
if [ -f "$out/sqlite3.c" ] && [ -f "$out/sqlite3.h" ]; then
  echo "$out"
  exit 0
fi
mkdir -p "$cache"
# Two builds configuring at once wait for each other.
exec 9>"$cache/.sqlite-lock"
flock 9
if [ -f "$out/sqlite3.c" ] && [ -f "$out/sqlite3.h" ]; then
  echo "$out"
  exit 0
fi

# tclsh runs the amalgamation generator; dpkg-source (build-essential) unpacks.
for p in tcl build-essential; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
    { DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "$p" >&2 ||
      { $sudo apt-get update -qq >&2; DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "$p" >&2; }; }
done

# Source packages need deb-src entries: the same archives as the binary
# ones, added once.
src_list=/etc/apt/sources.list.d/nvrweb-deb-src.sources
if ! apt-cache showsrc sqlite3 2>/dev/null | grep -q "^Version: $version\$"; then
  if [ ! -f "$src_list" ]; then
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
      sed 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources | $sudo tee "$src_list" >/dev/null
    else
      grep -h '^deb ' /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null | grep -v 'arch=' |
        sed 's/^deb /deb-src /' | $sudo tee "${src_list%.sources}.list" >/dev/null
    fi
  fi
  $sudo apt-get update -qq >&2
fi

work=$(mktemp -d "$cache/.sqlite-work-XXXXXX")
trap 'rm -rf "$work"' EXIT
(cd "$work" && apt-get source -qq "sqlite3=$version" >&2)
srcdir=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'sqlite3-*' | head -1)
[ -n "$srcdir" ] && [ -f "$srcdir/tool/mksqlite3c.tcl" ] ||
  { echo "sqlite-src: no canonical SQLite source in the sqlite3 source package" >&2; exit 1; }
mkdir "$work/bld"
(cd "$work/bld" && "$srcdir/configure" --disable-tcl --disable-readline >/dev/null &&
  make -s OPTS="$opts" sqlite3.c >&2)
mkdir -p "$out.tmp"
cp "$work/bld/sqlite3.c" "$work/bld/sqlite3.h" "$out.tmp/"
printf '%s\n' "$version" "$opts" > "$out.tmp/options"
rm -rf "$out" && mv "$out.tmp" "$out"
echo "$out"
