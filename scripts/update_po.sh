#!/usr/bin/env bash
# Extracts the marked texts of the sources into po/quorvane.pot and merges
# them into po/en.po: new texts arrive untranslated (or fuzzy, when a text
# changed a little), texts gone from the sources become obsolete (#~). Then
# translate what msgfmt --statistics reports and drop the fuzzy marks.
# Usage: update_po.sh             update po/quorvane.pot and po/en.po
#        update_po.sh --pot FILE  only extract, into FILE (the catalogue test)
set -euo pipefail
cd "$(dirname "$0")/.."

pot=po/quorvane.pot
[ "${1:-}" = --pot ] && pot=$2

# The markers of lang/translate.h and ui/tr.h; no default keywords (gettext,
# _ ...), so nothing unmarked slips in.
keywords=(-k -kTr -kTrFormat -kQTr -kQTrFormat -kN_ -kTrPlural:1,2 -kQTrPlural:1,2)
mapfile -t sources < <(find lang files sim serial console transfer procedures fileutil firmware library batch cli ui app \
                         -name '*.cpp' -o -name '*.h' | LC_ALL=C sort)
# Locations name the file only: a line moved is no change to the catalogue.
xgettext --from-code=UTF-8 --language=C++ "${keywords[@]}" --add-location=file --sort-by-file \
  --package-name=quorvane --package-version=7.0 --msgid-bugs-address=quorvane@users.noreply.invalid --copyright-holder='Quorvane developers' \
  -o "$pot" "${sources[@]}"
[ "${1:-}" = --pot ] && exit 0

msgmerge --quiet --update --backup=none --add-location=file --sort-by-file po/en.po "$pot"
msgfmt --check --statistics -o /dev/null po/en.po
