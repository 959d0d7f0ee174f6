#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests, the benchmarks and the
# Debian package (validators, dpkg-shlibdeps, systemd's pkg-config file) need.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  libsqlite3-dev libicu-dev libssl-dev nlohmann-json3-dev libplist-dev
  qt6-base-dev libgl-dev libxkbcommon-dev libxcb1-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth fonts-dejavu-core
  desktop-file-utils appstream dpkg-dev file groff-base systemd
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
echo "Installing: ${missing[*]}"
"${as_root[@]}" apt-get update -q
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
