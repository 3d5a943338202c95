#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test twice: a normal build
# (gcc), then one under AddressSanitizer and UndefinedBehaviorSanitizer
# (clang, without the tests labelled "long", which only repeat at length what
# others cover, and the package test, which has nothing to find in sanitized
# programs). The second build also holds the fuzz targets: each runs briefly
# over its seed corpus (libFuzzer), after the tests.
# Budget: the whole run within 15 minutes on 2 cores, no test over 20 s in
# the normal build; each test run ends with its ten slowest tests.
#
# Most tests spend their time waiting on the simulated drive's line pace, not
# on the processor, so they run two per core; the fuzz targets keep a core
# busy each and run alone, one per core, so they never slow the timing of a
# test beside them.
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
jobs=$(nproc)

# Runs ctest in a build folder with the given arguments, then lists the ten
# slowest tests of that run; the exit status is ctest's.
run_tests() {
  local folder=$1
  shift
  local log status=0
  log=$(mktemp)
  (cd "$folder" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure "$@") | tee "$log" || status=$?
  echo "Slowest tests in $folder (the normal build's budget is 20 s each):"
  # (awk, not head, takes the first ten: it reads to the end, so sort never
  # meets a closed pipe, which would end the script under pipefail.)
  sed -nE 's/^ *[0-9]+\/[0-9]+ Test +#[0-9]+: ([^ ]+) .* ([0-9.]+) sec$/\2 \1/p' "$log" | sort -rn |
    awk 'NR <= 10 { printf "  %7.2f s  %s\n", $1, $2 }'
  rm -f "$log"
  return "$status"
}

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
run_tests build -j $((jobs * 2))

# Line tables are all the sanitizers' reports need, and cost far less to
# build than full debugging information.
CC=clang CXX=clang++ cmake -S . -B build-san -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_FLAGS_DEBUG=-gline-tables-only -DQV_BENCH=OFF -DQV_FUZZ=ON
cmake --build build-san -j "$jobs"
UBSAN_OPTIONS=print_stacktrace=1 run_tests build-san -j $((jobs * 2)) -LE '^(long|package|fuzz)$'
(cd build-san && ctest --output-on-failure -j "$jobs" -L '^fuzz$')
