// Buffer round trip: writes pattern.bin (whole 512-byte blocks) into buffer
// blocks 10 and 11 and reads them back into copy.bin. Numbers are hexadecimal.
ECHO/缓冲区往返
W_BUF/10/2/pattern.bin
R_BUF/10/2/copy.bin
ECHO/copy.bin 应与 pattern.bin 相同
