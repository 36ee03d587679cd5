#include "host/services/hostchannelservice.h"

#include "host/services/hostrow.h"
#include "host/services/hostrowarray.h"

#include <cstring>

HostChannelService::HostChannelService(ChannelState* state, const KeywordFilter& filter)
    : m_state(state), m_filter(filter)
{}

HostChannelService::~HostChannelService() = default;

void HostChannelService::notifySubChannelSwitched()
{
    m_subChannelSwitched(m_state->identity().subChannelId);
}

void HostChannelService::notifyMyChannelInfoChanged()
{
    m_myInfoChanged(HostRowArray::create({HostRow::create(m_state->identity())}));
}

unsigned long HostChannelService::addRef()
{
    return ++m_refs;
}

unsigned long HostChannelService::release()
{
    return m_refs > 0 ? --m_refs : 0;
}

bool HostChannelService::queryInterface(const InterfaceId& iid, void** out)
{
    void* view = nullptr;
    if (iid == IUnk::iid())
        view = unknown();
    else if (iid == ITovoAddonInfo::iid())
        view = static_cast<ITovoAddonInfo*>(this);
    else if (iid == ITovoChannelInfomation::iid())
        view = static_cast<ITovoChannelInfomation*>(this);
    else if (iid == ITovoChannelWindow::iid())
        view = static_cast<ITovoChannelWindow*>(this);
    else if (iid == ITovoChannelMaiXuList::iid())
        view = static_cast<ITovoChannelMaiXuList*>(this);
    else if (iid == ITovoChannelMessageList::iid())
        view = static_cast<ITovoChannelMessageList*>(this);
    else if (iid == ITovoChannelKeywordFilter::iid())
        view = static_cast<ITovoChannelKeywordFilter*>(this);
    else if (iid == ITovoChannelUserList::iid())
        view = static_cast<ITovoChannelUserList*>(this);
    *out = view;
    if (view == nullptr)
        return false;
    addRef();
    return true;
}

UINT32 HostChannelService::getSubChannelId()
{
    return m_state->identity().subChannelId;
}

UINT32 HostChannelService::getChannelId()
{
    return m_state->identity().channelId;
}

bool HostChannelService::invoke(const char* method, const KeywordFilterValue& argument,
                                KeywordFilterValue& result)
{
    if (method == nullptr || std::strcmp(method, "filter") != 0 || argument.kind != kTextKind)
        return false;
    result.kind = kTextKind;
    result.text = m_filter.filter(argument.text);
    return true;
}

void HostChannelService::getMyChannelInfo(Data::IRowPtr& out, int)
{
    out = HostRow::create(m_state->identity());
}
