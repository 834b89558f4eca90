// How a long job learns that the operator wants it stopped.
#pragma once

#include <functional>

namespace zarnix {

// Asked between two steps of a long job: between two register accesses, never
// inside one, so a register's address frame is never left without its data
// byte; between two reads of a file. True ends the job there.
using CStopCheck = std::function<bool()>;

} // namespace zarnix
