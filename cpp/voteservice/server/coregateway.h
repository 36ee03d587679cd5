#pragma once

// What a transport other than the host connection (the web face) may ask of the server's one core:
// sessions with an identity, vote requests encoded as a host sends them, and the core's frames
// delivered in order through a SessionOutput. The same limits apply as to host connections.

#include "voteservice/core/servicemetrics.h"
#include "voteservice/core/sessionidentity.h"
#include "voteservice/server/sessionoutput.h"
#include "voteservice/core/voteservicecore.h"

#include <cstdint>
#include <string>

namespace quorix::service {

class CoreGateway
{
public:
    enum class Opened
    {
        Yes,
        ServiceFull,
        TooManyForUser,
        Stopped
    };

    virtual ~CoreGateway() = default;

    // Opens a core session whose frames go to output until closeSession; id is set when Yes. The
    // session counts in the service's figures under its transport.
    virtual Opened openSession(SessionOutput& output, const SessionIdentity& identity, Transport transport,
                               SessionId& id) = 0;
    // One vote request body (minor type of major 2500); its answers reach the session's output
    // later. A session that floods is closed (SessionOutput::close).
    virtual void handle(SessionId id, std::uint32_t minType, const std::string& body) = 0;
    // Spends one request of the session's budget on a request the transport answered itself; a
    // session that floods is closed.
    virtual void spendRequest(SessionId id) = 0;
    // output.framesSent() once every frame produced for the session so far has been sent.
    virtual void whenSent(SessionId id) = 0;
    // Forgets the output at once; may be called from inside SessionOutput::send.
    virtual void closeSession(SessionId id) = 0;
    // The count broadcast rate in force in the place (the fan-out budget lowers it for big audiences).
    virtual std::uint32_t broadcastHz(const SubChannelKey& place) = 0;
    // False with a reason when the storage does not answer or has failed.
    virtual bool storageHealthy(std::string& reason) = 0;
};

} // namespace quorix::service
