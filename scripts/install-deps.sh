#!/usr/bin/env bash
# Installs the Debian packages that the build and the tests need, only when missing.
set -euo pipefail
packages=(cmake ninja-build g++ make libgtest-dev libgmock-dev libbenchmark-dev python3 python3-dbfread perl libdbd-xbase-perl
          qt6-base-dev fonts-liberation2 xvfb xauth x11-utils imagemagick
          clang libfuzzer-14-dev  # the fuzz targets (make fuzz)
          dpkg-dev  # make package: dpkg-shlibdeps derives Depends
          file  # make package: CPack finds the programs to derive Depends from
          lintian  # the package test checks the package
          man-db  # the manual-page test formats the pages
          gdal-bin  # the repair test after a GIS tool's real edits
          qt6-svg-dev  # the chart of the selection saved as SVG
          )
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update
$sudo apt-get install -y --no-install-recommends "${missing[@]}"
