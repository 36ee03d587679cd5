#pragma once

// Output sink of the service fuzz targets: every frame must go to a session the target opened and
// decode completely as its minor type's answer. A violation is reported through `fault`, which
// must not return.

#include "fuzz/answercheck.h"
#include "voteservice/core/outputsink.h"

#include <set>

class CheckingSink : public quorix::service::OutputSink
{
public:
    using Fault = void (*)(const char* what);

    explicit CheckingSink(Fault fault) : m_fault(fault) {}

    void deliver(quorix::service::SessionId session, const quorix::service::OutFrame& frame) override
    {
        if (open.count(session) == 0)
            m_fault("a frame for a session that is not open");
        if (const char* problem = answercheck::streamFrameProblem(frame.wire()))
            m_fault(problem);
    }

    std::set<quorix::service::SessionId> open;

private:
    Fault m_fault;
};
