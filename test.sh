#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test twice: a normal build,
# then one under AddressSanitizer and UndefinedBehaviorSanitizer. Last, each
# fuzz target runs briefly over its seed corpus (clang, libFuzzer).
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
jobs=$(nproc)

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
(cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$jobs")

cmake -S . -B build-san -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQV_SANITIZE=ON -DQV_BENCH=OFF
cmake --build build-san -j "$jobs"
(cd build-san && QT_QPA_PLATFORM=offscreen UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j "$jobs")

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQV_GUI=OFF -DQV_BENCH=OFF -DQV_TESTS=OFF -DQV_FUZZ=ON
cmake --build build-fuzz -j "$jobs"
(cd build-fuzz && ctest --output-on-failure -j "$jobs")
