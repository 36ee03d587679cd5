#pragma once

// The add-on's view of the channel: channel numbers, channel window, keyword filter and
// sub-channel switches. Created without a parent and deleted by QuorixApp; destruction releases
// the host references and ends the host signal connection. Every getter asks the host anew.

#include "componentroot.h"
#include "hosttypes.h"
#include "itovochannelinfomation.h"
#include "itovochannelkeywordfilter.h"
#include "itovochannelmaixulist.h"
#include "itovochannelmessagelist.h"
#include "itovochannelwindow.h"
#include "trackable.h"

#include <QObject>
#include <QString>

class QWidget;

class EntChannelInterface : public QObject, public relay::trackable
{
    Q_OBJECT
public:
    EntChannelInterface();
    ~EntChannelInterface() override;

    void init(comptr<IComponentRoot> root);

    // Null without a channel window interface.
    QWidget* getChannelWindow() const;
    // 0 without a channel information interface.
    quint32 getChannelId() const;
    quint32 getSubChannelId() const;
    // The text after the host's keyword filter; empty without a keyword filter.
    QString filterText(const QString& text) const;

signals:
    void subChannelChanged(quint32 newSubChannelId);

public slots:
    // Also the handler of the host's sub-channel switch notification.
    void onSubChannelChanged(UINT32 newSid);

private:
    comptr<ITovoChannelWindow> m_ITovoChannelWindowPtr;
    comptr<ITovoChannelInfomation> m_ITovoChannelInfoPtr;
    comptr<ITovoChannelMaiXuList> m_ITovoChannelMaixuListPtr;
    comptr<ITovoChannelMessageList> m_TovoChannelMessageListPtr;
    comptr<ITovoChannelKeywordFilter> m_TovoChannelKeywordPtr;
};
