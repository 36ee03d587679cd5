#include "src/quorixapp/entchannelinterface.h"

#include "src/quorixlog/quorixlog.h"
#include "serviceids.h"

EntChannelInterface::EntChannelInterface() = default;

EntChannelInterface::~EntChannelInterface() = default;

void EntChannelInterface::init(comptr<IComponentRoot> root)
{
    if (!root) {
        QLOG(1) << "EntChannelInterface comRootPtr is NULL";
        return;
    }
    IComponentRoot* comRoot = root.get();
    m_ITovoChannelWindowPtr = serviceInterface<ITovoChannelWindow>(comRoot, hostsdk::kChannelService);
    m_ITovoChannelInfoPtr = serviceInterface<ITovoChannelInfomation>(comRoot, hostsdk::kChannelService);
    m_ITovoChannelMaixuListPtr = serviceInterface<ITovoChannelMaiXuList>(comRoot, hostsdk::kChannelService);
    m_TovoChannelMessageListPtr =
        serviceInterface<ITovoChannelMessageList>(comRoot, hostsdk::kChannelService);
    m_TovoChannelKeywordPtr = serviceInterface<ITovoChannelKeywordFilter>(comRoot, hostsdk::kChannelService);
    if (!m_ITovoChannelWindowPtr) {
        QLOG(1) << "EntChannelInterface m_ITovoChannelWindowPtr is NULL";
        return;
    }
    if (!m_ITovoChannelInfoPtr) {
        QLOG(1) << "EntChannelInterface m_ITovoChannelInfoPtr is NULL";
        return;
    }
    if (!m_ITovoChannelMaixuListPtr) {
        QLOG(1) << "EntChannelInterface m_ITovoChannelMaixuListPtr is NULL";
        return;
    }
    if (!m_TovoChannelMessageListPtr) {
        QLOG(1) << "EntChannelInterface m_TovoChannelMessageListPtr is NULL";
        return;
    }
    if (!m_TovoChannelKeywordPtr) {
        QLOG(1) << "EntChannelInterface m_TovoChannelKeywordPtr is NULL";
        return;
    }
    m_ITovoChannelInfoPtr->subChannelSwitchedSignal().connect(this,
                                                              &EntChannelInterface::onSubChannelChanged);
}

void EntChannelInterface::onSubChannelChanged(UINT32 newSid)
{
    emit subChannelChanged(newSid);
}

QWidget* EntChannelInterface::getChannelWindow() const
{
    return m_ITovoChannelWindowPtr ? m_ITovoChannelWindowPtr->getWidget() : nullptr;
}

quint32 EntChannelInterface::getChannelId() const
{
    return m_ITovoChannelInfoPtr ? m_ITovoChannelInfoPtr->getChannelId() : 0;
}

quint32 EntChannelInterface::getSubChannelId() const
{
    return m_ITovoChannelInfoPtr ? m_ITovoChannelInfoPtr->getSubChannelId() : 0;
}

QString EntChannelInterface::filterText(const QString& text) const
{
    if (!m_TovoChannelKeywordPtr)
        return QString();
    const KeywordFilterValue argument{ITovoChannelKeywordFilter::kTextKind, text};
    KeywordFilterValue result{ITovoChannelKeywordFilter::kTextKind, QString()};
    m_TovoChannelKeywordPtr->invoke("filter", argument, result);
    return result.text;
}
