#!/usr/bin/env bash
# Makes the README's pictures again (doc/main-window.png, doc/backup-window.png,
# doc/compare-window.png, and the same in English as doc/*-en.png) from the
# program's own windows, drawn offscreen: run it after the layout or a
# translation changes. Builds in build/ (or the folder given) what it needs.
# Usage: scripts/screenshots.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
[ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV_BENCH=OFF
cmake --build "$build" --target quorvane-screenshots
# The windows' Chinese captions need the CJK font (scripts/deps.sh installs it).
fc-list :lang=zh | grep -q . || { echo "no CJK font: run scripts/deps.sh"; exit 1; }
for language in zh en; do
  QT_QPA_PLATFORM=offscreen "$build/quorvane-screenshots" doc "$language"
done
echo "written: doc/{main,backup,compare}-window.png and doc/{main,backup,compare}-window-en.png"
