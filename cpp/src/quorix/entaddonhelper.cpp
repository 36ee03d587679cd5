#include "src/quorix/entaddonhelper.h"

#include "src/quorix/entryapi.h"
#include "itovoaddoninfo.h"
#include "itovochannelinfomation.h"
#include "src/quorixlog/quorixlog.h"
#include "serviceids.h"

EntAddonHelper::EntAddonHelper() = default;

EntAddonHelper::~EntAddonHelper() = default;

void EntAddonHelper::init(EntryApi* api)
{
    entryApi = api;
    if (entryApi.isNull()) {
        QLOG(1) << "EntryApi is NULL";
        return;
    }
    IComponentRoot* comRoot = entryApi->getComRoot();
    if (comRoot == nullptr) {
        QLOG(1) << "ComRoot is NULL";
        return;
    }
    touchChannelServices(comRoot);
}

void EntAddonHelper::unInit()
{
    if (entryApi.isNull()) {
        QLOG(1) << "unInit EntryApi is NULL";
        return;
    }
    IComponentRoot* comRoot = entryApi->getComRoot();
    if (comRoot == nullptr) {
        QLOG(1) << "unInit ComRoot is NULL";
        return;
    }
    touchChannelServices(comRoot);
}

// Both references are dropped again at once; the entry component does not listen to them.
void EntAddonHelper::touchChannelServices(IComponentRoot* comRoot)
{
    const comptr<ITovoAddonInfo> addonInfo =
        serviceInterface<ITovoAddonInfo>(comRoot, hostsdk::kChannelService);
    const comptr<ITovoChannelInfomation> channelInfo =
        serviceInterface<ITovoChannelInfomation>(comRoot, hostsdk::kChannelService);
}
