#!/usr/bin/env bash
# The catalogue is complete and current: po/quorvane.pot holds exactly the
# texts marked in the sources (extracted again into a scratch file and
# compared), po/en.po translates every one of them without a fuzzy mark (a
# text with a number, TrPlural, in each of English's two forms), and each
# translation keeps its text's placeholders {1}, {2} ...
# Prints what is wrong; the status is 1 when anything is.
set -euo pipefail
cd "$(dirname "$0")/.."
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
status=0

./scripts/update_po.sh --pot "$scratch/fresh.pot" 2>"$scratch/xgettext.log" || { cat "$scratch/xgettext.log"; exit 1; }
# msgcmp REF DEF: every text of DEF is in REF (untranslated ones count here).
current=0
msgcmp --use-untranslated po/quorvane.pot "$scratch/fresh.pot" 2>"$scratch/new" || current=1
msgcmp --use-untranslated "$scratch/fresh.pot" po/quorvane.pot 2>"$scratch/gone" || current=1
if ((current)); then
  cat "$scratch/new" "$scratch/gone"
  echo "FAIL: po/quorvane.pot is out of date with the sources: run scripts/update_po.sh"
  status=1
fi
# Untranslated and fuzzy entries of en.po do not count as translations.
if ! msgcmp po/en.po po/quorvane.pot 2>"$scratch/missing"; then
  cat "$scratch/missing"
  echo "FAIL: po/en.po lacks translations (or has fuzzy ones) for texts of po/quorvane.pot"
  status=1
fi
# The header's plural forms, and every form of a text with a number translated.
if ! msgfmt --check -o /dev/null po/en.po 2>"$scratch/msgfmt"; then
  cat "$scratch/msgfmt"
  echo "FAIL: po/en.po does not compile (plural forms, format)"
  status=1
fi
# The same placeholders in each translation (each plural form) as in its text.
msgexec -i po/en.po sh -c '
  [ -z "$MSGEXEC_MSGID" ] && exit 0
  text=$(printf %s "$MSGEXEC_MSGID" | grep -o "{[0-9]*}" | sort -u | tr -d "\n")
  translation=$(grep -o "{[0-9]*}" | sort -u | tr -d "\n")
  if [ "$text" != "$translation" ]; then echo "placeholders $text become ${translation:-none}: $MSGEXEC_MSGID"; fi
' >"$scratch/placeholders"
if [ -s "$scratch/placeholders" ]; then
  cat "$scratch/placeholders"
  echo "FAIL: translations that lose or add placeholders"
  status=1
fi
exit $status
