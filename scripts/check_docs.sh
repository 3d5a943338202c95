#!/usr/bin/env bash
# The documents name what the user sees by its English caption with the
# Chinese one beside it, "Read twice" (读两遍核对), so that a reader finds the
# control whichever language the windows speak. quorvane-batch --help and the
# manual pages hold no other Chinese but the names that are the same in both
# languages: the menu 语言 / Language with its item 中文, and file names.
# Usage: check_docs.sh QUORVANE-BATCH    Prints each line at fault; status 1 then.
set -euo pipefail
cd "$(dirname "$0")/.."
batch=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

"$batch" --lang en --help >"$scratch/help" || { echo "FAIL: $batch --help"; exit 1; }
status=0
for document in "$scratch/help" doc/man/quorvane.1 doc/man/quorvane-batch.1; do
  # The manual pages' quotes \(lq \(rq read as plain ones here.
  sed -e 's/\\(lq/"/g' -e 's/\\(rq/"/g' "$document" |
    DOCUMENT=$document perl -CSD -Mutf8 -ne '
      my $line = $_;
      s/"[^"]*[A-Za-z][^"]*" \([^)]*\)//g;              # "Read twice" (读两遍核对)
      s/语言 \/ Language|中文//g;                        # the same in both languages
      s/Varnel授权\.reg|磁头序列号表\.(png|jpe?g|bmp)//g;  # file names
      print "$ENV{DOCUMENT}:$.: $line" if /[\x{3000}-\x{303F}\x{3400}-\x{9FFF}\x{FF00}-\x{FFEF}]/;
    ' >>"$scratch/faults" || true
done
if [ -s "$scratch/faults" ]; then
  sed "s|$scratch/help|quorvane-batch --help|" "$scratch/faults"
  echo 'FAIL: Chinese not beside its English caption ("Read twice" (读两遍核对))'
  status=1
fi
exit $status
