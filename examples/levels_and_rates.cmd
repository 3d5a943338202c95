// Levels and line rates.
// A line starting with "/" is a comment; a line without "/" is only shown
// as the current line. The drive's replies are not shown while a script
// runs; ECHO writes into the terminal pane.
ECHO/Levels and rates (级别与速率)
LEVEL/T
LEVEL/2
STR/s0,0,22
// Drive and port move to 115200 together, then back.
SPEED/115200
LEVEL/1
STR/x
SPEED/9600
SLEEP/200
// The boot monitor (level F) takes the other-level rate commands.
LEVEL/F
SPEED/38400
SPEED/9600
// Single bytes: Ctrl-Z as hexadecimal, CR as decimal.
HEX/1A
DEC/13
ECHO/Done (完成)
