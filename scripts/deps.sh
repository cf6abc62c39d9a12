#!/usr/bin/env bash
# Installs the Debian packages that building and testing need; only those missing,
# and silently when nothing is missing.
set -euo pipefail

PACKAGES=(qt6-base-dev libsqlite3-dev libgtest-dev libbenchmark-dev cmake g++ make pkg-config
  mdbtools-dev qt6-httpserver-dev qt6-websockets-dev libpq-dev libsystemd-dev ccache)

missing=()
for package in "${PACKAGES[@]}" "$@"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed'; then
    missing+=("$package")
  fi
done

if ((${#missing[@]} > 0)); then
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi
