// How a long job learns that the operator wants it stopped.
#pragma once

#include <functional>

namespace zarnix {

// Asked between two steps of a long job: between two register accesses, never
// inside one, so a register's address frame is never left without its data
// byte; between two reads of a file. True ends the job there.
using CStopCheck = std::function<bool()>;

// An output whose reader has gone (a write met EPIPE, SIGPIPE being ignored)
// stops the run as the signal would have: the writer notes it here, and the
// tool's stop check asks, besides its signals.
void NoteBrokenPipe();
bool BrokenPipe();

} // namespace zarnix
