#!/usr/bin/env bash
# Installs every system package that Vandrel's build and tests need, on
# Debian 12, as root. Safe to run again: packages already there are kept.
set -euo pipefail

packages=(
  build-essential g++ cmake ninja-build pkg-config python3
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libsqlite3-dev sqlite3 unixodbc-dev unixodbc libpq-dev
  postgresql-15 postgresql-client-15 odbc-postgresql libsqliteodbc
  python3-dbfread python3-dbf pxlib-dev
  clang libclang-rt-14-dev
  qt6-base-dev qt6-charts-dev libqt6opengl6-dev libxkbcommon-dev libgl-dev libqt6svg6
  fonts-wqy-zenhei xvfb xauth
  dpkg-dev desktop-file-utils
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "setup: run as root to install: ${missing[*]}" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends "${missing[@]}"
