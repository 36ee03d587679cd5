#include "tests/support/fakeserviceconnection.h"

UINT32 FakeServiceConnection::openConnection(int kind)
{
    ++m_openCount;
    m_lastOpenKind = kind;
    const UINT32 id = m_nextId;
    if (m_nextId != kInvalidConnection)
        ++m_nextId;
    return id;
}
