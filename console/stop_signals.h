#pragma once
// The signals that ask a program to stop: Ctrl-C, SIGTERM (timeout, kill, a
// desktop logging out) and SIGHUP (a closed terminal, a dropped remote
// session). The first asks for a stop that ends the running operation its own
// way and closes the port as the program's own close does, so drive and
// adapter are left as they should be (the rate back at 9600, the adapter's
// latency setting put back). Only a later one, a second or more after it,
// ends the program at once.
//
// Signals that come within that second count as the first: GNU timeout sends
// its signal to the program and then to the program's whole group, so one
// request arrives twice, microseconds apart, and must not be taken for "quit
// at once".
#include <chrono>

namespace qv::stop_signals {

// How long after the first signal another one still belongs to it.
inline constexpr std::chrono::milliseconds kSameRequest{1000};

// Installs the handler and blocks the signals in this thread, so that threads
// started from here on (a port's receive thread) never take them. Call
// Accept() in this thread once those threads run.
void Catch();
void Accept();

// 0: no signal; 1: a stop asked for; 2: asked again later, quit at once.
// From 2 on the default actions are back, so one more ends even a program
// that no longer gets to look.
int Requests();
// The exit status of a run a signal stopped: 128 + the first one's number
// (130 Ctrl-C, 143 SIGTERM, 129 SIGHUP).
int Status();
// "Ctrl-C", "SIGTERM" or "SIGHUP": the first signal's name.
const char* FirstName();
// Becomes readable at each request (Catch() must have run): an event loop
// that sleeps in poll or select wakes on it; DrainWakeFd() empties it.
int WakeFd();
void DrainWakeFd();

}  // namespace qv::stop_signals
