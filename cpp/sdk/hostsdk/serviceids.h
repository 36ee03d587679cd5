#pragma once

// Service ids of the component root and what each serves.

namespace hostsdk {

// getService: ITovoAddonInfo, ITovoChannelInfomation, ITovoChannelWindow, ITovoChannelMaiXuList,
// ITovoChannelMessageList, ITovoChannelKeywordFilter, ITovoChannelUserList.
constexpr const char kChannelService[] = "com.tovo.channelservice";
// getService: ITovoBuddyList.
constexpr const char kImGroupService[] = "com.tovo.imgroupservice";
// getService: ITovoAuthentication.
constexpr const char kCommonService[] = "com.tovo.commonservice";
// createInstance: a new ITovoServiceConnectionEx per call.
constexpr const char kServiceConnection[] = "com.tovo.serviceconnection";
// getService: ITovoAddonBoxEx.
constexpr const char kChannelServiceEx[] = "com.tovo.channelserviceex";
// getService: ITovoUICreator.
constexpr const char kUiCreatorService[] = "com.tovo.commoncomponentlevelservice";

} // namespace hostsdk
