#pragma once

// The host's "com.tovo.channelservice": channel numbers and sub-channel switches, the channel
// window, the keyword filter and the local user's channel row. Each interface can be hidden to
// play a host without it.

#include "tests/support/fakerow.h"
#include "tests/support/fakeunknown.h"
#include "itovoaddoninfo.h"
#include "itovochannelinfomation.h"
#include "itovochannelkeywordfilter.h"
#include "itovochannelmaixulist.h"
#include "itovochannelmessagelist.h"
#include "itovochanneluserlist.h"
#include "itovochannelwindow.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class FakeChannelService
    : public FakeUnknown<ITovoChannelInfomation, ITovoAddonInfo, ITovoChannelWindow, ITovoChannelMaiXuList,
                         ITovoChannelMessageList, ITovoChannelKeywordFilter, ITovoChannelUserList>
{
public:
    struct FilterCall
    {
        std::string method;
        int argumentKind = 0;
        int resultKind = 0;
        QString text;
    };

    FakeChannelService();

    // Channel numbers and switches.
    void setChannelId(UINT32 id) { m_channelId = id; }
    void setSubChannelId(UINT32 id) { m_subChannelId = id; }
    // Sets the sub-channel and fires the switch notification.
    void switchSubChannel(UINT32 id);

    void setWidget(QWidget* widget) { m_widget = widget; }

    // Keyword filter: listed words become asterisks unless a filter function is set.
    void setKeywords(const QStringList& words) { m_keywords = words; }
    void setFilter(std::function<QString(const QString&)> filter) { m_filter = std::move(filter); }
    const std::vector<FilterCall>& filterCalls() const { return m_filterCalls; }

    // The local user's row; null (clearMyRow) plays a host that has none yet.
    FakeRow& myRow();
    void clearMyRow() { m_hasMyRow = false; }
    int myRowReads() const { return m_myRowReads; }
    // Fires the row-change notification with the given rows (null by default).
    void fireMyChannelInfoChanged(Data::IRowArrayPtr rows = nullptr);

    UINT32 getSubChannelId() override { return m_subChannelId; }
    UINT32 getChannelId() override { return m_channelId; }
    relay::signal1<UINT32>& subChannelSwitchedSignal() override { return m_switched; }
    QWidget* getWidget() override { return m_widget; }
    bool invoke(const char* method, const KeywordFilterValue& argument, KeywordFilterValue& result) override;
    relay::signal1<Data::IRowArrayPtr>& myChannelInfoChangedSignal() override { return m_myInfoChanged; }
    void getMyChannelInfo(Data::IRowPtr& out, int mode) override;

    int lastMyChannelInfoMode() const { return m_lastMode; }

private:
    QString applyFilter(const QString& text) const;

    UINT32 m_channelId = 0;
    UINT32 m_subChannelId = 0;
    QWidget* m_widget = nullptr;
    QStringList m_keywords;
    std::function<QString(const QString&)> m_filter;
    std::vector<FilterCall> m_filterCalls;
    std::unique_ptr<FakeRow> m_myRow;
    bool m_hasMyRow = false;
    int m_myRowReads = 0;
    int m_lastMode = -1;
    relay::signal1<UINT32> m_switched;
    relay::signal1<Data::IRowArrayPtr> m_myInfoChanged;
};
