#!/usr/bin/env bash
# Builds Stepwright and starts it on the built-in simulated master.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/deps.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build" -j"$(nproc)" --target stepwright
cd "$root/build"
exec ./stepwright --simulator "$@"
