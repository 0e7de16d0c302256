#!/usr/bin/env bash
# Installs what building and testing Stepwright needs, when it is missing.
set -euo pipefail
packages=(cmake make g++ qt6-base-dev qt6-charts-dev libgtest-dev libgmock-dev fonts-dejavu-core fonts-dejavu-extra
  python3-dev pybind11-dev python3-pytest python3-jsonschema python3-venv python3-pip python3-setuptools
  python3-wheel mypy dpkg-dev desktop-file-utils poppler-utils libyaml-cpp-dev libxml2-utils)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
