#include "host/services/hostserviceconnection.h"

#include <atomic>

namespace {

UINT32 nextConnectionId()
{
    static std::atomic<UINT32> last{0};
    UINT32 id = ++last;
    if (id == ITovoServiceConnectionEx::kInvalidConnection)
        id = ++last;
    return id;
}

} // namespace

HostServiceConnection::HostServiceConnection(ServiceTransport* transport) : m_transport(transport)
{
    if (transport == nullptr)
        return;
    connect(transport, &ServiceTransport::ready, this, &HostServiceConnection::onTransportReady);
    connect(transport, &ServiceTransport::closed, this, &HostServiceConnection::onTransportClosed);
    connect(transport, &ServiceTransport::frameArrived, this, &HostServiceConnection::onFrame);
}

HostServiceConnection::~HostServiceConnection() = default;

unsigned long HostServiceConnection::addRef()
{
    return ++m_refs;
}

unsigned long HostServiceConnection::release()
{
    const unsigned long left = --m_refs;
    if (left == 0)
        delete this;
    return left;
}

bool HostServiceConnection::queryInterface(const InterfaceId& iid, void** out)
{
    if (iid == IUnk::iid() || iid == ITovoServiceConnectionEx::iid()) {
        addRef();
        *out = static_cast<ITovoServiceConnectionEx*>(this);
        return true;
    }
    *out = nullptr;
    return false;
}

void HostServiceConnection::send(UINT32 connectionId, const std::string& frame)
{
    if (m_open.count(connectionId) == 0 || !m_transport || !m_transport->isReady()) {
        ++m_framesDropped;
        return;
    }
    ++m_framesSent;
    m_transport->sendFrame(frame);
}

UINT32 HostServiceConnection::openConnection(int)
{
    if (m_serviceType != kVoteServiceType || !isReady())
        return kInvalidConnection;
    const UINT32 id = nextConnectionId();
    m_open.insert(id);
    emit connectionOpened(id);
    return id;
}

bool HostServiceConnection::isReady()
{
    return m_transport && m_transport->isReady();
}

void HostServiceConnection::onTransportReady()
{
    m_ready();
}

// A receiver may release this object from inside any of these emissions; after that nothing
// here may be touched.
void HostServiceConnection::onTransportClosed()
{
    const std::set<UINT32> closing = std::exchange(m_open, {});
    const QPointer<HostServiceConnection> alive = this;
    m_serviceClosed();
    for (UINT32 id : closing) {
        if (!alive)
            return;
        m_connectionClosed(id);
    }
}

// An exception thrown by a receiver (for example while it decodes a frame it cannot read) must not
// unwind into the transport and the event loop: the frame is dropped for that receiver and counted.
void HostServiceConnection::onFrame(const std::string& frame)
{
    const std::set<UINT32> receivers = m_open;
    const QPointer<HostServiceConnection> alive = this;
    for (UINT32 id : receivers) {
        if (!alive)
            return;
        if (m_open.count(id) == 0)
            continue;
        try {
            m_data(id, frame);
        } catch (...) {
            if (alive)
                ++m_receiverFailures;
        }
    }
}
