#pragma once

// Every host interface in one include.

#include "componentroot.h"
#include "datarow.h"
#include "ifencomponententry.h"
#include "ipropbagwrapper.h"
#include "iquorix.h"
#include "itovoaddonboxex.h"
#include "itovoaddoninfo.h"
#include "itovoauthentication.h"
#include "itovobuddylist.h"
#include "itovochannelinfomation.h"
#include "itovochannelkeywordfilter.h"
#include "itovochannelmaixulist.h"
#include "itovochannelmessagelist.h"
#include "itovochanneluserlist.h"
#include "itovochannelwindow.h"
#include "itovoserviceconnectionex.h"
#include "itovouicreator.h"
#include "roleinchannel.h"
#include "serviceids.h"
#include "tovoaddonboxitem.h"
