#pragma once

#include "voteservice/core/outframe.h"
#include "voteservice/core/sessionidentity.h"

namespace quorix::service {

// Where the core puts its answers and pushes. Called synchronously from inside the core's calls,
// in the order the frames must reach each session; an implementation must not call back into the
// core from deliver.
class OutputSink
{
public:
    virtual ~OutputSink() = default;
    virtual void deliver(SessionId session, const OutFrame& frame) = 0;
};

} // namespace quorix::service
