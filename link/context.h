// The three services every object that talks to the camera needs, passed as one.
#pragma once

#include "link/adapter.h"
#include "link/clock.h"
#include "link/messages.h"

namespace zarnix {

struct CLinkContext {
    CAdapter& adapter;
    CClock& clock;
    CMessageSink& messages;
};

} // namespace zarnix
