#!/usr/bin/env bash
# Installs what Quorvane needs to build, run and test on Debian 12; only what is missing.
set -euo pipefail
packages=(build-essential cmake ninja-build pkg-config
          qt6-base-dev qt6-base-dev-tools libgl-dev libxkbcommon-dev
          libqt6svg6 desktop-file-utils dpkg-dev man-db lintian
          fonts-noto-cjk
          libssl-dev
          libsqlite3-dev
          gettext
          libgtest-dev libgmock-dev libbenchmark-dev
          clang libclang-rt-14-dev
          ser2net)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}"
fi
