#pragma once

// Where VoteServer puts the core's frames for one session, once they may leave (after the group
// commit that carries their writes). A host connection writes them as they are; a web session turns
// them into JSON.

#include "voteservice/core/outframe.h"

namespace quorix::service {

class SessionOutput
{
public:
    virtual ~SessionOutput() = default;
    virtual void send(const OutFrame& frame) = 0;
    // Every frame the core produced for the session before CoreGateway::whenSent was asked has been
    // passed to send().
    virtual void framesSent() {}
    // The session flooded: the server ends it. Must not call back into the server.
    virtual void close() = 0;
    // The service is stopping: every frame it will send the session has been passed to send(). The
    // output ends the session once they are out (closeSession); one that is ending anyway may ignore it.
    virtual void goingAway() {}
};

} // namespace quorix::service
