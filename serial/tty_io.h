#pragma once
// Thin wrappers over the Linux tty ioctls. Kept apart because the termios2
// interface (free baud rates such as 625200) clashes with <termios.h>.
#include <cstddef>

namespace qv::tty {

// Raw 8N1, binary, no flow control, receiver on, modem status ignored.
bool MakeRaw(int fd);
// Sets both directions to `baud` and reads the setting back: false when the
// driver refuses the rate or can only approximate it.
bool SetBaud(int fd, int baud);
// The output rate the line is set to, or -1.
int GetBaud(int fd);
// Asserts (on) or drops (off) DTR and RTS; false where the device has no modem lines.
bool SetModemLines(int fd, bool on);
// Reads the DTR and RTS states; false where the device has no modem lines.
bool GetModemLines(int fd, bool& dtr, bool& rts);
// Bytes waiting in the input queue (0 when the query fails).
int QueuedInput(int fd);
// Discards pending output and unread input.
void Purge(int fd);
// Sets or clears the exclusive-use flag: while set, further opens fail
// (except for root).
bool SetExclusive(int fd, bool on);
// True for the slave side of a pseudo-terminal (/dev/pts/N).
bool IsPseudoTerminal(int fd);
// The driver's low-latency flag (ASYNC_LOW_LATENCY): 1 set, 0 clear, -1 when
// the driver has no such setting (pseudo-terminals, some adapters).
int GetLowLatency(int fd);
// Sets or clears it; false when the driver refuses.
bool SetLowLatency(int fd, bool on);

}  // namespace qv::tty
