#!/usr/bin/env bash
# Installs the Debian packages Kadrovo needs to build, run and test, when any is missing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-translations-l10n libgl-dev libxkbcommon-dev
    libjpeg62-turbo-dev libpng-dev zlib1g-dev
    libheif-dev libwebp-dev liblcms2-dev libexif-dev libgs-common libglib2.0-dev libseccomp-dev libheif-examples
    libgtest-dev libbenchmark-dev libvips-dev libjpeg-turbo-progs
    clang-format
    python3 xvfb xauth xdotool x11-utils imagemagick fonts-dejavu-core fonts-dejavu-extra
    python3-xlib xclip file desktop-file-utils appstream
    libjpeg-dev dpkg-dev debhelper lintian
)

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)
"${sudo[@]}" apt-get update
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
