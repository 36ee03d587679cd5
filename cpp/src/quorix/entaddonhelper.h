#pragma once

// Companion of EntryApi that looks at the host's add-on and channel information services while
// the component is loaded. Created and deleted by EntryApi.

#include "trackable.h"

#include <QObject>
#include <QPointer>

class EntryApi;
class IComponentRoot;

class EntAddonHelper : public QObject, public relay::trackable
{
    Q_OBJECT
public:
    EntAddonHelper();
    ~EntAddonHelper() override;

    void init(EntryApi* api);
    void unInit();

signals:
    void addonAddSignal(quint32 addonId);
    void subChannelChangedSignal(quint32 newSid);

private:
    void touchChannelServices(IComponentRoot* comRoot);

    QPointer<EntryApi> entryApi;
};
