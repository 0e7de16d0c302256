#!/usr/bin/env bash
# Builds the Debian package build/stepwright_VERSION_ARCH.deb (install it with
# sudo apt install ./build/stepwright_*.deb).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/deps.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build" -j"$(nproc)"
cd "$root/build"
cpack -G DEB >/dev/null
for deb in "$root"/build/stepwright_*.deb; do
  echo "$deb"
  dpkg-deb --field "$deb" Package Version Section Depends Recommends
done
