#include "entchannelinterface.h"

EntChannelInterface::EntChannelInterface() = default;
EntChannelInterface::~EntChannelInterface() = default;

QWidget* EntChannelInterface::getChannelWindow() const { return nullptr; }
quint32 EntChannelInterface::getChannelId() const { return 0; }
quint32 EntChannelInterface::getSubChannelId() const { return 0; }
QString EntChannelInterface::filterText(const QString&) const { return QString(); }
