#include "host/windows/channelstate.h"

ChannelState::ChannelState(const HostIdentity& identity, QObject* parent)
    : QObject(parent), m_identity(identity)
{}

void ChannelState::setRole(quint32 role)
{
    if (role == m_identity.role)
        return;
    m_identity.role = role;
    emit roleChanged(role);
}

void ChannelState::setSubChannelId(quint32 subChannelId)
{
    if (subChannelId == m_identity.subChannelId)
        return;
    m_identity.subChannelId = subChannelId;
    emit subChannelChanged(subChannelId);
}

bool ChannelState::isManagerRole(quint32 role)
{
    return role == 255 || role == 230 || role == 200 || role == 175 || role == 150;
}
