#include "src/quorix/entryapi.h"

#include "src/quorix/entaddonhelper.h"
#include "src/quorixlog/quorixlog.h"
#include "winapi.h"

#include <QString>

#include <cstring>
#include <new>

namespace {

constexpr char kComponentId[] = "com.tovo.quorix";
constexpr wchar_t kEntryModule[] = L"quorix.dll";
constexpr char kAppModule[] = "quorixapp.dll";
constexpr char kLoadExport[] = "onLoadEntAddon";
constexpr char kUnloadExport[] = "onUnLoadEntAddon";

bool sameComponentId(const char* componentId)
{
    return componentId == kComponentId ||
           (componentId != nullptr && std::strcmp(componentId, kComponentId) == 0);
}

std::wstring appModuleName()
{
    return QString("%1").arg(kAppModule).toStdWString();
}

// The directory of the entry component's own file, without the trailing backslash; empty when
// the component cannot find itself.
std::wstring ownDirectory()
{
    HMODULE self = GetModuleHandleW(kEntryModule);
    if (self == nullptr)
        return std::wstring();
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(self, path, MAX_PATH);
    const std::wstring file(path);
    const size_t backslash = file.rfind(L'\\');
    return backslash == std::wstring::npos ? std::wstring() : file.substr(0, backslash);
}

EntryApi* s_entryApi = nullptr;
bool s_created = false;

} // namespace

HRESULT createComInstance(const char* componentId, IUnk* outer, void** out)
{
    if (!sameComponentId(componentId))
        return E_FAIL;
    QLOG(1) << "quorix.dll has been load";
    if (outer != nullptr)
        return CLASS_E_NOAGGREGATION;
    if (out == nullptr)
        return E_POINTER;
    *out = nullptr;
    EntryApi* api = EntryApi::processInstance();
    if (api == nullptr)
        return E_OUTOFMEMORY;
    api->addRef();
    api->queryInterface(IUnk::iid(), out);
    api->release();
    return S_OK;
}

EntryApi* EntryApi::processInstance()
{
    if (!s_created) {
        s_entryApi = new (std::nothrow) EntryApi;
        s_created = s_entryApi != nullptr;
    }
    return s_entryApi;
}

EntryApi::EntryApi() = default;

unsigned long EntryApi::addRef()
{
    return 1;
}

unsigned long EntryApi::release()
{
    return 1;
}

bool EntryApi::queryInterface(const InterfaceId& iid, void** out)
{
    if (out == nullptr)
        return false;
    if (iid == IUnk::iid() || iid == IQuorix::iid() || iid == IFenComponentEntry::iid()) {
        IQuorix* view = this;
        *out = view;
        view->addRef();
        return true;
    }
    *out = nullptr;
    return false;
}

long EntryApi::reservedOperation()
{
    return 0;
}

bool EntryApi::onLoad(IComponentRoot* comRoot)
{
    if (comRoot == nullptr) {
        QLOG(1) << "root is null!";
        return false;
    }
    // A second onLoad without onUnLoad replaces the helper; the earlier one is unInit'ed against
    // the earlier root and deleted rather than left behind.
    dropAddonHelper();
    root = comRoot;
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, this, &EntryApi::onCheckAppDllLoad, Qt::UniqueConnection);
    addonHelper = new EntAddonHelper;
    if (!addonHelper.isNull()) {
        addonHelper->init(this);
        timer.start(kLoadDelayMs);
    }
    return true;
}

bool EntryApi::onUnLoad()
{
    disconnect(&timer, &QTimer::timeout, this, &EntryApi::onCheckAppDllLoad);
    timer.stop();
    unLoadAddonLibrary();
    dropAddonHelper();
    root = nullptr;
    return true;
}

void EntryApi::dropAddonHelper()
{
    if (addonHelper.isNull())
        return;
    addonHelper->unInit();
    delete addonHelper.data();
    addonHelper = nullptr;
}

void EntryApi::onAddonAddSignal(quint32 addonId)
{
    if (addonId == 0 && !timer.isActive())
        onCheckAppDllLoad();
}

void EntryApi::onSubChannelChangedSignal(quint32)
{
    if (!timer.isActive())
        onCheckAppDllLoad();
}

void EntryApi::onCheckAppDllLoad()
{
    if (!LoadAddonLibrary())
        QLOG(1) << "load tha app dll fail";
}

bool EntryApi::LoadAddonLibrary()
{
    const std::wstring moduleName = appModuleName();
    if (GetModuleHandleW(moduleName.c_str()) != nullptr) {
        QLOG(1) << "Do not load quorixapp.dll again!!!";
        return false;
    }
    const std::wstring path = ownDirectory() + L"\\" + moduleName;
    HMODULE library = LoadLibraryW(path.c_str());
    if (library == nullptr) {
        QLOG(1) << QString("Load %1 library fail!!! LastErrorCode:%2").arg(kAppModule).arg(GetLastError());
        return false;
    }
    auto onLoadEntAddon = reinterpret_cast<OnLoadEntAddonFunction>(GetProcAddress(library, kLoadExport));
    if (onLoadEntAddon == nullptr) {
        QLOG(1) << QString("Get %1 address fail!!! LastErrorCode:%2").arg(kLoadExport).arg(GetLastError());
        return false;
    }
    onLoadEntAddon(root);
    return true;
}

bool EntryApi::unLoadAddonLibrary()
{
    HMODULE library = GetModuleHandleW(appModuleName().c_str());
    if (library == nullptr)
        return false;
    auto onUnLoadEntAddon =
        reinterpret_cast<OnUnLoadEntAddonFunction>(GetProcAddress(library, kUnloadExport));
    if (onUnLoadEntAddon == nullptr) {
        QLOG(1) << QString("Get %1 address fail!!! LastErrorCode:%2").arg(kUnloadExport).arg(GetLastError());
        return false;
    }
    onUnLoadEntAddon();
    FreeLibrary(library);
    return true;
}
