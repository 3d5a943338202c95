// Buffer round trip: two sectors of cylinder 20 are read into pattern.bin
// (through buffer block 0), written into buffer blocks 10 and 11 and read
// back into copy.bin; the last line says whether the two files are the same.
// Numbers are hexadecimal. quorvane-batch ends with status 1 when a step
// failed, files that differ included, and names the failed steps last.
ECHO/Buffer round trip (缓冲区往返)
R_SECTORS/20/0/0/2/0/2/pattern.bin
W_BUF/10/2/pattern.bin
R_BUF/10/2/copy.bin
CMP_FILE/pattern.bin/copy.bin
