#pragma once

// The host's channel service ("com.tovo.channelservice"): channel numbers and sub-channel switch
// notification, the channel window, the local user's member row and its change notification,
// the keyword filter, and the add-on information, microphone queue and message list that add-ons
// may hold. Owned by the host for its whole run; counted references do not delete it.

#include "host/windows/channelstate.h"
#include "host/services/keywordfilter.h"

#include "itovoaddoninfo.h"
#include "itovochannelinfomation.h"
#include "itovochannelkeywordfilter.h"
#include "itovochannelmaixulist.h"
#include "itovochannelmessagelist.h"
#include "itovochanneluserlist.h"
#include "itovochannelwindow.h"

#include <QPointer>
#include <QWidget>

class HostChannelService : public ITovoAddonInfo,
                           public ITovoChannelInfomation,
                           public ITovoChannelWindow,
                           public ITovoChannelMaiXuList,
                           public ITovoChannelMessageList,
                           public ITovoChannelKeywordFilter,
                           public ITovoChannelUserList
{
public:
    HostChannelService(ChannelState* state, const KeywordFilter& filter);
    ~HostChannelService();
    HostChannelService(const HostChannelService&) = delete;
    HostChannelService& operator=(const HostChannelService&) = delete;

    IUnk* unknown() { return static_cast<ITovoChannelInfomation*>(this); }
    void setChannelWindow(QWidget* window) { m_window = window; }
    unsigned long references() const { return m_refs; }

    // Tell the add-ons about a change the host already made in the channel state.
    void notifySubChannelSwitched();
    void notifyMyChannelInfoChanged();

    unsigned long addRef() override;
    unsigned long release() override;
    bool queryInterface(const InterfaceId& iid, void** out) override;
    long reservedOperation() override { return 0; }

    UINT32 getSubChannelId() override;
    UINT32 getChannelId() override;
    relay::signal1<UINT32>& subChannelSwitchedSignal() override { return m_subChannelSwitched; }

    QWidget* getWidget() override { return m_window.data(); }

    bool invoke(const char* method, const KeywordFilterValue& argument, KeywordFilterValue& result) override;

    relay::signal1<Data::IRowArrayPtr>& myChannelInfoChangedSignal() override { return m_myInfoChanged; }
    void getMyChannelInfo(Data::IRowPtr& out, int mode) override;

private:
    ChannelState* m_state;
    KeywordFilter m_filter;
    QPointer<QWidget> m_window;
    relay::signal1<UINT32> m_subChannelSwitched;
    relay::signal1<Data::IRowArrayPtr> m_myInfoChanged;
    unsigned long m_refs = 0;
};
