#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing Arkivault
# need, skipping the work when everything is already there.
set -euo pipefail
packages=(
  build-essential cmake ninja-build clang libclang-rt-14-dev
  libwxgtk3.2-dev zlib1g-dev libexpat1-dev libgtest-dev
  xvfb xauth x11-utils trayer openbox xdotool imagemagick desktop-file-utils
  zip unzip 7zip libarchive-tools python3
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
