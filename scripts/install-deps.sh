#!/usr/bin/env bash
# Installs the Debian packages qcore needs to build, test and benchmark; only those not yet installed.
set -euo pipefail

packages=(
  build-essential cmake pkgconf git clang-format
  libsdl2-dev libfreetype-dev libfontconfig-dev
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev
  libasio-dev libmeshoptimizer-dev libsquish-dev libstb-dev libjpeg62-turbo-dev libpng-dev
  libgtest-dev libbenchmark-dev uuid-dev
  fonts-liberation2 fonts-wqy-microhei fonts-arphic-uming
  xvfb xauth xfonts-base x11-utils x11-apps xdotool
  clang libclang-rt-14-dev
  libglm-dev libhdf5-dev libosmesa6-dev libembree-dev
  doxygen libassimp-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
echo "installing: ${missing[*]}"
"${sudo_cmd[@]}" apt-get update -q
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
