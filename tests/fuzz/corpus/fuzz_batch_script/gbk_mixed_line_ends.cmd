// Еъґ¦Ан
LEVEL/2
R_BUF/0/4/buf.binW_SECTORS/10/0/0/80/0/400//x/track.bin
