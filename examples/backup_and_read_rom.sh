#!/bin/sh
# Backs up a drive's firmware modules and reads its flash ROM into one folder,
# with quorvane-batch, before any repair is tried on the drive.
#
#   backup_and_read_rom.sh PORT [RATE [FOLDER]]
#
#   PORT    the adapter the drive's terminal is wired to, as
#           "quorvane-batch --list-ports" names it (ttyUSB0); required. SIM,
#           the built-in simulated drive, tries this script out.
#   RATE    the transfer rate; default 115200. Take a lower one (57600, 38400)
#           when a transfer fails with "Error reading the data: choose the
#           next lower rate and try again!" (读取数据错误，请调低一档速率后再试!).
#   FOLDER  where the files go; default drive-DATE-TIME in the current folder.
#
# Power the drive up and let it reach its "T>" prompt first: the backup finds
# the drive's family from the drive's own report, which it gives at level T.
# The ROM is read last because it leaves the drive at level F ("F>").
#
# Afterwards FOLDER holds APP.BIN, CERT.BIN, Table.BIN, ATA.BIN (ATA0.BIN and
# ATA1.BIN), Vendor.BIN, ID.BIN, SN.TXT (the drive's model and serial number),
# MANIFEST.TXT, ROM.BIN and log.txt (everything the drive and the program
# said). "quorvane-batch --compare" of two such folders judges the files the
# manifests list and names ROM.BIN and log.txt without a verdict.
#
# Exit status: 0 when both succeeded, 1 when either failed (see log.txt; a
# transfer rate the port refused is such a failure), 2 for no PORT or a port
# that cannot be opened, 130 when stopped with Ctrl-C (143 SIGTERM, 129
# SIGHUP: only a signal gives these).

set -u

if [ $# -lt 1 ]; then
  echo "usage: $0 PORT [RATE [FOLDER]]  (PORT as \"quorvane-batch --list-ports\" names it, or SIM)" >&2
  exit 2
fi
PORT=$1
RATE=${2:-115200}
FOLDER=${3:-drive-$(date +%Y%m%d-%H%M%S)}
# The program; set QUORVANE_BATCH to use one that is not on the PATH
# (QUORVANE_BATCH=build/quorvane-batch from a source tree).
BATCH=${QUORVANE_BATCH:-quorvane-batch}

mkdir -p "$FOLDER" || exit 2
LOG=$FOLDER/log.txt

# 1. The firmware modules. The family comes from the drive; if the drive's
#    family is not in the table, name it: add --family NAME (see
#    "quorvane-batch --list-families").
echo "Backing up the firmware modules into $FOLDER ..."
"$BATCH" --port "$PORT" --rate "$RATE" --backup "$FOLDER" >>"$LOG" 2>&1
backup=$?
case $backup in
  0) echo "  backup done" ;;
  2|129|130|143) echo "  stopped (status $backup); see $LOG"; exit $backup ;;
  *) echo "  backup FAILED; see $LOG" ;;
esac

# 2. The flash ROM through the drive's buffer. --yes: if the copy looks wrong,
#    read it again one byte per command (slow, but it gets the image).
echo "Reading the flash ROM into $FOLDER/ROM.BIN ..."
"$BATCH" --port "$PORT" --rate "$RATE" --yes --rom-read "$FOLDER/ROM.BIN" >>"$LOG" 2>&1
rom=$?
case $rom in
  0) echo "  ROM read done" ;;
  2|129|130|143) echo "  stopped (status $rom); see $LOG"; exit $rom ;;
  *) echo "  ROM read FAILED; see $LOG" ;;
esac

[ $backup -eq 0 ] && [ $rom -eq 0 ] && exit 0
exit 1
