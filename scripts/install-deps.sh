#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the interop checks need, if missing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  zlib1g-dev libdeflate-dev libpng-dev libtiff-dev libjpeg-dev libgif-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  # the benchmark's reference codec (libjpeg-turbo is above); SIMD with run-time dispatch
  libopenjp2-7-dev libhwy-dev
  # command-line option parsing of the quorvel tool (header-only)
  libcli11-dev
  # the Python package and its tests; the .deb's dependency list (dpkg-shlibdeps); nm, objdump
  python3-dev pybind11-dev python3-numpy python3-pytest dpkg-dev binutils man-db
  # quorvel.dask and its tests on a local cluster
  python3-dask python3-distributed
  # the real windows (Qt 6 widgets) and their tests under a virtual X server
  qt6-base-dev libgl-dev libxcb1-dev xvfb xauth
  # the gdk-pixbuf loader module and its test (gdk-pixbuf-query-loaders)
  libgdk-pixbuf-2.0-dev libgdk-pixbuf2.0-bin
  # metafiles: libwmf (WMF) and libemf2svg (EMF, records checked by libUEMF first) to SVG,
  # librsvg on cairo to pixels; libwmf needs the URW base fonts to draw at all
  libwmf-dev libemf2svg-dev libuemf-dev librsvg2-dev libcairo2-dev gsfonts
  # the desktop files' test: a MIME database from an installed prefix, asked through xdg-mime
  # (which reads it with File::MimeInfo)
  shared-mime-info xdg-utils libfile-mimeinfo-perl
  # the format check of scripts/test.sh (.clang-format); libFuzzer's FuzzedDataProvider.h,
  # which the GDI fuzz target's corpus replay is compiled with
  clang-format libclang-rt-dev
  # third-party tools the interop tests compare against
  netpbm imagemagick python3 python3-pil libtiff-tools
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
