// Ctrl-C (SIGINT), SIGTERM and SIGHUP during a command that writes the camera or a file.
// The handler only notes the signal; the command asks between two register
// accesses and ends there, so the camera never gets an address frame without its
// data byte, a load never its commit after a stop, and a dump never half a file.
#pragma once

namespace zarnix::cli {

// Installs the handlers for the three signals, without SA_RESTART: a read from the
// terminal (the y/N question) comes back at once. A protocol pause still runs to
// its end (the clock sleeps on towards its deadline), so the stop waits for it.
// Further signals after the first change nothing: the stop is already on its way.
// A signal that was ignored when the tool started stays ignored.
void CatchStopSignals();

// Waits until `fd` has input, or until a stop signal came (also one that came
// just before the wait: a plain blocking read would miss that one and wait on).
// True when there is input to read.
bool WaitForInputUnlessStopped(int fd);

// SIGPIPE ignored (as a caller may have left it already): a write to a pipe whose
// reader has gone (`--trace /dev/stdout | head`) then fails with EPIPE, which the
// writer notes (system/stop_check.h) and the run takes as a stop on SIGPIPE, instead
// of dying between a register's address frame and its data.
void IgnoreBrokenPipes();

// The first signal caught, or 0; SIGPIPE once an output's reader has gone.
int StopSignal();
inline bool StopRequested() { return StopSignal() != 0; }

// "SIGINT", "SIGTERM", "SIGHUP" or "SIGPIPE".
const char* StopSignalName();

// What the shell reports for a command ended by the signal: 130 for SIGINT, 143
// for SIGTERM, 129 for SIGHUP, 141 for SIGPIPE.
int StopExitStatus();

} // namespace zarnix::cli
