#!/usr/bin/env bash
# Installs the Debian packages the project builds, tests and runs with.
# Idempotent: apt-get runs only when something is missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config dpkg-dev
  clang libclang-rt-dev
  qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite libqt6sql6-psql
  libgl-dev
  libsqlite3-dev libsodium-dev
  postgresql haproxy
  xvfb xauth
  poppler-utils openssl
  qt6-translations-l10n
  openbox xdotool x11-utils
  fonts-dejavu-core
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
