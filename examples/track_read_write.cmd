// Track read and write: 16 sectors of cylinder 10, head 0, in chunks of 8,
// through buffer block 0; written to cylinder 11 and read back from there.
// Fields: cylinder/head/buffer/chunk/first sector/sector count/file.
ECHO/Track read and write (磁道读写)
R_SECTORS/10/0/0/8/0/10/track.bin
W_SECTORS/11/0/0/8/0/10/track.bin
R_SECTORS/11/0/0/8/0/10/check.bin
// A path with folders needs a field in front of it, which is dropped:
// R_SECTORS/10/0/0/8/0/10/-//tmp/track.bin
// Whether the copy reads back as the original: "same" (相同) or where they differ.
CMP_FILE/track.bin/check.bin
