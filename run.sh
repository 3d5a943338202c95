#!/usr/bin/env bash
# Installs what is missing, builds and starts Quorvane.
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV_BENCH=OFF >/dev/null
cmake --build build --target quorvane quorvane-batch
exec build/quorvane "$@"
