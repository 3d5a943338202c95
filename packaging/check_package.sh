#!/usr/bin/env bash
# Builds the Debian package from a build folder into a scratch folder and
# checks what it installs: both programs and nothing else in /usr/bin, the
# menu entry (desktop-file-validate) with its icon, every manual page
# compressed and free of roff warnings, every example script, the udev rule
# for FT232-class adapters, the copyright file and the changelog, a dependency
# on Debian's Qt 6, libcrypto (libssl3) and SQLite (libsqlite3-0), and lintian's verdict: no error
# and no warning.
# Usage: check_package.sh BUILD_DIR SOURCE_DIR. Exit 77: a tool is missing.
set -euo pipefail
build=$1
source=$2
for tool in cpack dpkg-deb dpkg-shlibdeps desktop-file-validate man lintian; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed (scripts/deps.sh installs it)"; exit 77; }
done
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cpack -G DEB -B "$scratch" --config "$build/CPackConfig.cmake" >"$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log"; fail "cpack did not build the package"; }
debs=("$scratch"/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one .deb, found: ${debs[*]}"
deb=${debs[0]}

dpkg-deb -c "$deb" | awk '{ print $6 }' | sed 's|^\./|/|' >"$scratch/files"
expected=(/usr/bin/quorvane /usr/bin/quorvane-batch
          /usr/share/applications/quorvane.desktop
          /usr/share/icons/hicolor/scalable/apps/quorvane.svg
          /usr/share/locale/en/LC_MESSAGES/quorvane.mo
          /usr/share/doc/quorvane/copyright /usr/share/doc/quorvane/changelog.gz
          /usr/lib/udev/rules.d/60-quorvane-usb-serial.rules)
for page in "$source"/doc/man/*.1; do expected+=("/usr/share/man/man1/$(basename "$page").gz"); done
for example in "$source"/examples/*; do expected+=("/usr/share/doc/quorvane/examples/$(basename "$example")"); done
for file in "${expected[@]}"; do grep -qxF "$file" "$scratch/files" || fail "$file is not in the package"; done
grep -qx '/usr/share/man/man1/quorvane.1.gz' "$scratch/files" || fail "quorvane(1) is missing"
grep -qx '/usr/share/man/man1/quorvane-batch.1.gz' "$scratch/files" || fail "quorvane-batch(1) is missing"
# The programs find their own files elsewhere; nothing else belongs beside them.
extra=$(grep '^/usr/bin/.' "$scratch/files" | grep -vx -e /usr/bin/quorvane -e /usr/bin/quorvane-batch || true)
[ -z "$extra" ] || fail "unexpected in /usr/bin: $extra"

depends=$(dpkg-deb -f "$deb" Depends)
for package in libqt6widgets6 libqt6core6 qt6-qpa-plugins libqt6svg6 libssl3 libsqlite3-0; do
  grep -q "\b$package\b" <<<"$depends" || fail "Depends lacks $package: $depends"
done

root="$scratch/root"
dpkg-deb -x "$deb" "$root"
desktop=$root/usr/share/applications/quorvane.desktop
desktop-file-validate "$desktop" >"$scratch/validate" 2>&1 || { cat "$scratch/validate"; fail "the menu entry is invalid"; }
[ ! -s "$scratch/validate" ] || { cat "$scratch/validate"; fail "desktop-file-validate has remarks"; }
grep -qx 'Exec=quorvane' "$desktop" || fail "the menu entry does not start quorvane"
grep -qx 'Icon=quorvane' "$desktop" || fail "the menu entry names another icon"
grep -qx 'ACTION=="add", SUBSYSTEM=="usb-serial", DRIVER=="ftdi_sio", ATTR{latency_timer}="1"' \
  "$root/usr/lib/udev/rules.d/60-quorvane-usb-serial.rules" || fail "the udev rule does not set the latency timer"
for page in "$root"/usr/share/man/man1/*.gz; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null || true)
  [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
done
# The changelog's latest entry is this version.
version=$(dpkg-deb -f "$deb" Version)
zcat "$root/usr/share/doc/quorvane/changelog.gz" | head -1 | grep -q "^quorvane ($version) " ||
  fail "the changelog's latest entry is not version $version"

# Debian's own checker, informational notes aside. (As root it says so on
# stderr; that is no finding.)
lintian --fail-on error,warning --no-tag-display-limit "$deb" >"$scratch/lintian" 2>"$scratch/lintian.err" ||
  { cat "$scratch/lintian" "$scratch/lintian.err"; fail "lintian has errors or warnings"; }
grep -E '^[EW]: ' "$scratch/lintian" && fail "lintian has errors or warnings"
echo "package ok: $(basename "$deb"), $(wc -l <"$scratch/files") entries, lintian clean"
