#!/usr/bin/env bash
# Checks that every include of the program's own headers runs down the layers:
# a folder may include its own headers and those of folders of a lower layer,
# never a folder of its own layer or above. Prints each include that breaks
# the order; the status is 1 when there is one.
set -euo pipefail
cd "$(dirname "$0")/.."

# Lowest first. The program's texts in the chosen language use nothing of
# ours; the shared file reader and writer and the simulated drive only those
# texts; the link uses the simulated drive for its SIM port; the
# console owns the link; the transfers, procedures and file utilities work
# through the console; the firmware work uses the transfers: the family table
# and a backup folder's manifest first, then the backup and the loading that
# use both; the firmware library keeps what the backups made; the batch
# runner drives all of those; the shell runner and the windows sit on top.
declare -A layer=([lang]=0 [files]=1 [sim]=1 [serial]=2 [console]=3 [transfer]=4 [procedures]=4 [fileutil]=4
                  [firmware/family]=5 [firmware/manifest]=5 [firmware/backup]=6 [firmware/loading]=6
                  [library]=7 [batch]=8 [cli]=9 [ui]=9 [app]=10)

# The folder of the layers a path lies in: its first two names where those
# are one (the firmware work's folders), else its first.
folder_of() {
  local first=${1%%/*} rest=${1#*/}
  folder=$first
  if [[ -v layer[$first/${rest%%/*}] ]]; then folder=$first/${rest%%/*}; fi
}

status=0
# firmware/ holds only the folders of its concerns, each with its layer
# above: a file or folder beside them would go unchecked.
for entry in firmware/*; do
  [[ -d $entry && -v layer[$entry] ]] && continue
  echo "$entry: firmware/ holds only the folders of its concerns, each with its layer here"
  status=1
done
while IFS=: read -r file line text; do
  folder_of "$file"
  from=$folder
  folder_of "${text#*\"}"
  to=$folder
  [[ -v layer[$to] && "$from" != "$to" ]] || continue
  if (( layer[$to] >= layer[$from] )); then
    echo "$file:$line: $from (layer ${layer[$from]}) includes $to (layer ${layer[$to]})"
    status=1
  fi
done < <(grep -rn -E '^#include "[a-z]+/' --include='*.h' --include='*.cpp' "${!layer[@]}")
exit $status
