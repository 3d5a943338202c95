// Building files from sector ranges of others. The source is read from the
// drive first: 4 sectors of cylinder 20, head 0.
R_SECTORS/20/0/0/4/0/4/part.bin
// part.bin with its first sector moved to the end.
CREAT_FILE/part.bin/1/3/part.bin/0/1/rotated.bin
// Sector 2 alone; no second source.
CREAT_FILE/part.bin/2/1////sector2.bin
// The output may be one of the sources: part.bin is cut to its first 2 sectors.
CREAT_FILE/part.bin/0/2////part.bin
ECHO/Files built (文件已生成)
